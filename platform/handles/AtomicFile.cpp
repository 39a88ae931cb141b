#include "AtomicFile.h"

#include "File.h"
#include "FolderHandle.h"
#include "StagedFile.h"
#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

namespace selvanix::platform {

namespace {

bool fail(int errnoValue) {
    setLastError(platformErrorFromErrno(errnoValue));
    return false;
}

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
    std::optional<FolderHandle> folder =
        FolderHandle::openHost(QFile::encodeName(targetInfo.absolutePath()));
    if (!folder) {
        return false;
    }
    std::optional<StagedFile> staged =
        StagedFile::create(*folder, QFile::encodeName(targetInfo.fileName()));
    if (!staged) {
        return fail(errno);
    }
    const int fd = staged->file().descriptor();
    if (existed) {
        ::fchmod(fd, old.st_mode & 07777);
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner matters to nobody but the superuser; keep going.
        }
    }
    if (!writeAll(fd, content) || (durability == Durability::Flushed && ::fsync(fd) != 0)) {
        return fail(errno);
    }
    if (!staged->commit()) {
        return false;
    }
    // Make the rename itself durable; a failure here changes nothing already written.
    if (durability == Durability::Flushed) {
        ::fsync(folder->descriptor());
    }
    return true;
}

}  // namespace selvanix::platform
