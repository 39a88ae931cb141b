#include "KeyFile.h"

#include "Commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace selvanix::publish {

std::optional<signing::PrivateKey> loadPrivateKey(const QString& path) {
    // Non-blocking, so a pipe at the name is refused at once rather than waited on.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        report(kFailed, QStringLiteral("cannot read key file %1: %2")
                            .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        report(kFailed, QStringLiteral("cannot read key file %1").arg(path));
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        report(kFailed, QStringLiteral("key file %1 is not a regular file").arg(path));
        return std::nullopt;
    }
    // As ssh does: a private key others may read or change is no longer private.
    if ((st.st_mode & 077) != 0) {
        report(kFailed, QStringLiteral("key file %1 is open to other users (mode %2); make it "
                                       "private with chmod 600")
                            .arg(path, QString::number(st.st_mode & 07777, 8)));
        return std::nullopt;
    }
    auto key = signing::PrivateKey::fromPem(file.read(64 * 1024));
    if (!key) {
        report(kFailed, QStringLiteral("%1 holds no Ed25519 private key").arg(path));
    }
    return key;
}

}  // namespace selvanix::publish
