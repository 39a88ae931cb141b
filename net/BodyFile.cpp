#include "BodyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstdio>

#include "platform/FileTime.h"
#include "platform/handles/File.h"
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

namespace selvanix::net {

namespace {

// A name of its own only where the file system has no unnamed files, or on the way to its
// final name; named as every file written beside its place.
QString randomName(const QString& folder) {
    return folder + u'/' +
           QFile::decodeName(platform::temporaryName("download", platform::randomTag()));
}

}  // namespace

std::unique_ptr<BodyFile> BodyFile::create(const QString& hostFolder) {
    const QByteArray folder = QFile::encodeName(hostFolder);
    const auto mode = static_cast<mode_t>(0666 & ~platform::processUmask());
    const int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd >= 0) {
        return std::unique_ptr<BodyFile>(new BodyFile(fd, hostFolder, QString()));
    }
    // A file system without unnamed files: a random name, removed whenever we fail.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name = randomName(hostFolder);
        const int named = ::open(QFile::encodeName(name).constData(),
                                 O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, mode);
        if (named >= 0) {
            return std::unique_ptr<BodyFile>(new BodyFile(named, hostFolder, name));
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return nullptr;
}

std::unique_ptr<BodyFile> BodyFile::adopt(int fd, const QString& hostFolder,
                                          const QString& hostPath) {
    std::unique_ptr<BodyFile> body(new BodyFile(fd, hostFolder, hostPath));
    struct stat st {};
    body->written_ = ::fstat(fd, &st) == 0 ? st.st_size : 0;
    return body;
}

BodyFile::~BodyFile() {
    ::close(fd_);
    if (!namedPath_.isEmpty()) {
        ::unlink(QFile::encodeName(namedPath_).constData());
    }
}

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
    const QByteArray target = QFile::encodeName(hostPath);
    if (!namedPath_.isEmpty()) {
        if (::rename(QFile::encodeName(namedPath_).constData(), target.constData()) != 0) {
            return false;
        }
        namedPath_.clear();
        return true;
    }
    // An unnamed file gets a temporary name first: linkat never replaces what is there.
    const QString temporary = randomName(folder_);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, QFile::encodeName(temporary).constData(),
                 AT_SYMLINK_FOLLOW) != 0) {
        return false;
    }
    if (::rename(QFile::encodeName(temporary).constData(), target.constData()) != 0) {
        ::unlink(QFile::encodeName(temporary).constData());
        return false;
    }
    return true;
}

bool BodyFile::copyInto(int targetFd, qint64 offset) {
    return flush() && platform::copyAllAt(fd_, 0, targetFd, offset, written_);
}

}  // namespace selvanix::net
