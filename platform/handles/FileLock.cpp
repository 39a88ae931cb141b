#include "FileLock.h"
#include "platform/FaultPoint.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <thread>

namespace selvanix::platform {

namespace {

constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

int openLock(const FolderHandle& folder, const QByteArray& name, FileLock::Access access) {
    int fd = ::openat(folder.descriptor(), name.constData(), O_RDWR | O_CREAT | kFlags, 0600);
    if (fd < 0 && access == FileLock::Access::Read &&
        (errno == EACCES || errno == EPERM || errno == EROFS)) {
        fd = ::openat(folder.descriptor(), name.constData(), O_RDONLY | kFlags);
    }
    return fd;
}

std::optional<FileLock::Refused> unsafe(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return FileLock::Refused{FileLock::Refusal::Unopened, errno, 0};
    }
    if (!S_ISREG(st.st_mode)) {
        return FileLock::Refused{FileLock::Refusal::NotRegular, 0, st.st_uid};
    }
    if (st.st_nlink != 1) {
        return FileLock::Refused{FileLock::Refusal::SecondName, 0, st.st_uid};
    }
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        return FileLock::Refused{FileLock::Refusal::ForeignOwner, 0, st.st_uid};
    }
    return std::nullopt;
}

// Whether the name still stands for the locked file: a run that removed it (an uninstall)
// leaves its waiters holding a file nobody else will lock.
bool stillNamed(const FolderHandle& folder, const QByteArray& name, int fd) {
    struct stat named {};
    struct stat held {};
    return ::fstatat(folder.descriptor(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

}  // namespace

std::variant<FileLock, FileLock::Refused> FileLock::take(const FolderHandle& folder,
                                                         const QByteArray& name, Access access,
                                                         std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int fd = openLock(folder, name, access);
        if (fd < 0) {
            // O_NOFOLLOW answers a link with ELOOP; a pipe or a folder opened for writing with
            // ENXIO or EISDIR.
            const int error = errno;
            const Refusal why = error == ELOOP                      ? Refusal::Link
                                : error == EISDIR || error == ENXIO ? Refusal::NotRegular
                                                                    : Refusal::Unopened;
            return Refused{why, error, 0};
        }
        FileLock lock(fd, folder, name);
        if (const std::optional<Refused> refused = unsafe(fd)) {
            return *refused;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (stillNamed(folder, name, fd)) {
                lock.held_ = true;
                return lock;
            }
            continue;
        }
        if (errno != EINTR && errno != EWOULDBLOCK) {
            return Refused{Refusal::Unopened, errno, 0};
        }
        if (std::chrono::steady_clock::now() >= until) {
            return Refused{Refusal::Busy, EWOULDBLOCK, 0};
        }
        pausePoint("busy");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FileLock::FileLock(int fd, const FolderHandle& folder, QByteArray name)
    : fd_(fd), folder_(folder.reopen()), name_(std::move(name)) {}

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(other.fd_),
      folder_(std::move(other.folder_)),
      name_(std::move(other.name_)),
      held_(other.held_) {
    other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        folder_ = std::move(other.folder_);
        name_ = std::move(other.name_);
        held_ = other.held_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock() {
    release();
}

void FileLock::release() {
    if (fd_ < 0) {
        return;
    }
    // Only a file this lock holds: never one a later run made under the name. A lock that
    // was refused was never held, and its file may be another run's.
    if (held_ && folder_ && stillNamed(*folder_, name_, fd_)) {
        ::unlinkat(folder_->descriptor(), name_.constData(), 0);
    }
    ::close(fd_);
    fd_ = -1;
}

}  // namespace selvanix::platform
