#include "BodyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>

#include "platform/FileTime.h"
#include "platform/handles/File.h"
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

namespace selvanix::net {

std::unique_ptr<BodyFile> BodyFile::create(const QString& hostFolder) {
    const std::optional<platform::FolderHandle> folder =
        platform::FolderHandle::openHost(QFile::encodeName(hostFolder));
    std::optional<platform::StagedFile> staged =
        folder ? platform::StagedFile::unnamed(*folder, "download") : std::nullopt;
    return staged ? std::unique_ptr<BodyFile>(new BodyFile(std::move(*staged))) : nullptr;
}

std::unique_ptr<BodyFile> BodyFile::adopt(platform::StagedFile staged) {
    std::unique_ptr<BodyFile> body(new BodyFile(std::move(staged)));
    struct stat st {};
    body->written_ = ::fstat(body->fd_, &st) == 0 ? st.st_size : 0;
    return body;
}

BodyFile::~BodyFile() = default;

bool BodyFile::write(const char* data, qint64 size) {
    if (pending_.size() + size > kGather && !flush()) {
        return false;
    }
    if (size >= kGather) {
        if (!platform::writeAllAt(fd_, data, size, written_)) {
            return false;
        }
        written_ += size;
        return true;
    }
    pending_.append(data, size);
    return true;
}

bool BodyFile::flush() {
    if (pending_.isEmpty()) {
        return true;
    }
    if (!platform::writeAllAt(fd_, pending_.constData(), pending_.size(), written_)) {
        return false;
    }
    written_ += pending_.size();
    pending_.resize(0);
    return true;
}

void BodyFile::reserve(qint64 size) {
    if (size > 0) {
        ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, size);
    }
}

qint64 BodyFile::room(qint64 keepFree) const {
    struct statvfs fs {};
    if (::fstatvfs(fd_, &fs) != 0) {
        return 0;
    }
    const auto free = static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
    return free > keepFree ? free - keepFree : 0;
}

bool BodyFile::publishAs(const QString& hostPath, qint64 lastModifiedMs) {
    if (!flush()) {
        return false;
    }
    if (lastModifiedMs != 0) {
        timespec times[2];
        platform::fillWriteTimes(lastModifiedMs, times);
        ::futimens(fd_, times);
    }
    const QFileInfo target(hostPath);
    const std::optional<platform::FolderHandle> into =
        platform::FolderHandle::openHost(QFile::encodeName(target.absolutePath()));
    // Published beside where it was written, never moved across folders.
    return into && into->identity() == folder().identity() &&
           staged_.commitAs(QFile::encodeName(target.fileName()));
}

bool BodyFile::copyInto(int targetFd, qint64 offset) {
    return flush() && platform::copyAllAt(fd_, 0, targetFd, offset, written_);
}

}  // namespace selvanix::net
