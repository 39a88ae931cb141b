#include "Commands.h"
#include "config/Signature.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace selvanix::publish {

int keygen(const QStringList& arguments) {
    if (arguments.size() != 1 || arguments[0].startsWith(QStringLiteral("--"))) {
        return report(kUsage, QStringLiteral("usage: selvanix-publish keygen KEYFILE"));
    }
    const QString path = arguments[0];
    const auto key = signing::PrivateKey::generate();
    const QByteArray pem = key ? key->pem() : QByteArray();
    if (pem.isEmpty()) {
        return report(kFailed, QStringLiteral("cannot make a key"));
    }
    // Only the owner may read a private key, and an existing key is never replaced.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return report(kFailed, QStringLiteral("cannot create %1: %2")
                                   .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    const bool written = ::write(fd, pem.constData(), static_cast<size_t>(pem.size())) ==
                             static_cast<ssize_t>(pem.size()) &&
                         ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(QFile::encodeName(path).constData());
        return report(kFailed, QStringLiteral("cannot write %1").arg(path));
    }
    std::printf("%s\n", key->publicKey().base64().constData());
    return kDone;
}

int report(int code, const QString& message) {
    std::fprintf(stderr, "selvanix-publish: %s\n", qUtf8Printable(message));
    return code;
}

void warn(const QString& message) {
    std::fprintf(stderr, "selvanix-publish: warning: %s\n", qUtf8Printable(message));
}

}  // namespace selvanix::publish
