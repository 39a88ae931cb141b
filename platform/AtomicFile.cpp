#include "AtomicFile.h"

#include "Exception.h"
#include "File.h"
#include "FileOps.h"
#include "Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

namespace selvanix::platform {

namespace {

bool fail(int errnoValue) {
    setLastError(platformErrorFromErrno(errnoValue));
    return false;
}

// Closes the descriptor and removes the temporary file unless released.
class TemporaryFile {
public:
    TemporaryFile(int fd, QByteArray path) : fd_(fd), path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!released_) {
            ::unlink(path_.constData());
        }
    }
    int fd() const { return fd_; }
    const QByteArray& path() const { return path_; }
    bool close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }
    void release() { released_ = true; }

private:
    int fd_;
    QByteArray path_;
    bool released_ = false;
};

bool writeAll(int fd, const QByteArray& content) {
    constexpr qsizetype kLarge = 64 << 20;
    if (content.size() >= kLarge) {
        ::fallocate(fd, 0, 0, content.size());  // one allocation for the whole; only a hint
    }
    return writeAllAt(fd, content.constData(), content.size(), 0);
}

}  // namespace

bool canReplaceFile(const QString& path, LinkAtName links) {
    const QString target = toHostPath(path);
    if (target.isEmpty()) {
        setLastError(3);
        return false;
    }
    const QByteArray host = QFile::encodeName(target);
    struct stat st {};
    const bool there = links == LinkAtName::Follow ? ::stat(host.constData(), &st) == 0
                                                   : ::lstat(host.constData(), &st) == 0;
    if (there && !(links == LinkAtName::Replace && isForeignLink(st))) {
        if (S_ISDIR(st.st_mode)) {
            return fail(EISDIR);
        }
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
            ::access(host.constData(), W_OK) != 0) {
            return fail(EACCES);
        }
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        setLastError(3);
        return false;
    }
    return ::access(folder.constData(), W_OK) == 0 || fail(EACCES);
}

bool isForeignLink(const struct stat& status) {
    return S_ISLNK(status.st_mode) || (S_ISREG(status.st_mode) && status.st_nlink > 1);
}

bool replaceFileAtomically(const QString& path, const QByteArray& content, Durability durability,
                           LinkAtName links) {
    QString target = toHostPath(path);
    if (target.isEmpty()) {
        setLastError(3);
        return false;
    }
    const QFileInfo info(target);
    if (links == LinkAtName::Follow && info.isSymLink() && info.exists()) {
        target = info.canonicalFilePath();
    }
    const QByteArray hostTarget = QFile::encodeName(target);
    struct stat old {};
    bool existed = links == LinkAtName::Follow ? ::stat(hostTarget.constData(), &old) == 0
                                               : ::lstat(hostTarget.constData(), &old) == 0;
    if (existed && links == LinkAtName::Replace && isForeignLink(old)) {
        existed = false;  // replaced as if it were not there
    }
    if (existed) {
        if (S_ISDIR(old.st_mode)) {
            return fail(EISDIR);
        }
        // A read-only file stays unwritten, also for the superuser.
        if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
            ::access(hostTarget.constData(), W_OK) != 0) {
            return fail(EACCES);
        }
    }

    const QFileInfo targetInfo(target);
    const QByteArray stem = QFile::encodeName(targetInfo.absolutePath() + QStringLiteral("/.") +
                                              targetInfo.fileName() + QStringLiteral(".tmp"));
    int fd = -1;
    QByteArray tempPath;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        tempPath = stem + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return fail(errno);
        }
    }
    if (fd < 0) {
        return fail(EEXIST);
    }
    TemporaryFile temp(fd, tempPath);
    if (existed) {
        ::fchmod(temp.fd(), old.st_mode & 07777);
        if (::fchown(temp.fd(), old.st_uid, old.st_gid) != 0) {
            // Only the owner matters to nobody but the superuser; keep going.
        }
    }
    if (!writeAll(temp.fd(), content) ||
        (durability == Durability::Flushed && ::fsync(temp.fd()) != 0)) {
        return fail(errno);
    }
    if (!temp.close()) {
        return fail(errno);
    }
    if (::rename(temp.path().constData(), hostTarget.constData()) != 0) {
        return fail(errno);
    }
    temp.release();
    if (durability == Durability::Cached) {
        return true;
    }
    // Make the rename itself durable; a failure here changes nothing already written.
    const int dirFd = ::open(QFile::encodeName(targetInfo.absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace selvanix::platform
