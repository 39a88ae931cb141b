#include "FolderHandle.h"

#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace selvanix::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

bool fail(int errnoValue) {
    setLastError(platformErrorFromErrno(errnoValue));
    return false;
}

}  // namespace

std::optional<FolderHandle> FolderHandle::open(const QString& path) {
    const QString host = toHostPath(path);
    if (host.isEmpty()) {
        setLastError(3);
        return std::nullopt;
    }
    return openHost(QFile::encodeName(host));
}

std::optional<FolderHandle> FolderHandle::openHost(const QByteArray& hostPath) {
    const int fd = ::open(hostPath.constData(), kFolderFlags);
    if (fd < 0) {
        fail(errno);
        return std::nullopt;
    }
    return FolderHandle(fd);
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FolderHandle::~FolderHandle() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::optional<FolderHandle> FolderHandle::enter(const QByteArray& name, bool create,
                                                Refusal* refusal) const {
    const auto refuse = [&](Refusal why, int errnoValue) -> std::optional<FolderHandle> {
        if (refusal) {
            *refusal = why;
        }
        fail(errnoValue);
        return std::nullopt;
    };
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/')) {
        return refuse(Refusal::Other, EINVAL);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::openat(fd_, name.constData(), kFolderFlags | O_NOFOLLOW);
        if (fd >= 0) {
            if (refusal) {
                *refusal = Refusal::None;
            }
            return FolderHandle(fd);
        }
        const int error = errno;
        if (error == ENOENT && create && attempt == 0) {
            if (::mkdirat(fd_, name.constData(), 0777) == 0 || errno == EEXIST) {
                continue;  // open what is there now, made by us or by someone else meanwhile
            }
            return refuse(Refusal::Other, errno);
        }
        if (error == ELOOP || error == ENOTDIR) {
            const auto st = status(name);
            if (st && S_ISLNK(st->st_mode)) {
                return refuse(Refusal::Link, ELOOP);
            }
            return refuse(Refusal::NotFolder, ENOTDIR);
        }
        return refuse(Refusal::Other, error);
    }
    return refuse(Refusal::Other, ENOENT);
}

std::optional<struct stat> FolderHandle::status(const QByteArray& name) const {
    struct stat st {};
    if (::fstatat(fd_, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        fail(errno);
        return std::nullopt;
    }
    return st;
}

std::optional<File> FolderHandle::createFile(const QByteArray& name, mode_t mode) const {
    const int fd =
        ::openat(fd_, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        fail(errno);
        return std::nullopt;
    }
    return File(fd);
}

std::optional<File> FolderHandle::openForReading(const QByteArray& name) const {
    return openRegular(name, O_RDONLY | O_NOCTTY);
}

std::optional<File> FolderHandle::openRegular(const QByteArray& name, int access) const {
    const int fd = ::openat(fd_, name.constData(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(errno);
        return std::nullopt;
    }
    File file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        fail(EINVAL);
        return std::nullopt;
    }
    return file;
}

bool FolderHandle::rename(const QByteArray& from, const QByteArray& to) const {
    return ::renameat(fd_, from.constData(), fd_, to.constData()) == 0 || fail(errno);
}

bool FolderHandle::remove(const QByteArray& name) const {
    return ::unlinkat(fd_, name.constData(), 0) == 0 || fail(errno);
}

std::optional<FolderHandle> FolderHandle::reopen() const {
    const int fd = ::openat(fd_, ".", kFolderFlags);
    if (fd < 0) {
        fail(errno);
        return std::nullopt;
    }
    return FolderHandle(fd);
}

bool FolderHandle::removeEmptyFolder(const QByteArray& name) const {
    return ::unlinkat(fd_, name.constData(), AT_REMOVEDIR) == 0;
}

namespace {

// Deep enough for any package; a planted tree deeper than this is left, not followed down.
constexpr int kMaxTreeDepth = 128;

bool removeTreeAt(const FolderHandle& parent, const QByteArray& name, int depth) {
    const std::optional<struct stat> st = parent.status(name);
    if (!st) {
        return errno == ENOENT;
    }
    if (!S_ISDIR(st->st_mode)) {
        return parent.remove(name);
    }
    const std::optional<FolderHandle> folder = parent.enter(name, false);
    const int listed = folder && depth < kMaxTreeDepth ? ::dup(folder->descriptor()) : -1;
    DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!dir) {
        if (listed >= 0) {
            ::close(listed);
        }
        return false;
    }
    std::vector<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray child(entry->d_name);
        if (child != "." && child != "..") {
            names.push_back(child);
        }
    }
    ::closedir(dir);
    bool removed = true;
    for (const QByteArray& child : names) {
        removed = removeTreeAt(*folder, child, depth + 1) && removed;
    }
    return parent.removeEmptyFolder(name) && removed;
}

}  // namespace

bool FolderHandle::removeTree(const QByteArray& name) const {
    return removeTreeAt(*this, name, 0);
}

bool FolderHandle::moveTo(const QByteArray& from, const FolderHandle& folder,
                          const QByteArray& to) const {
    return ::renameat2(fd_, from.constData(), folder.fd_, to.constData(), RENAME_NOREPLACE) == 0 ||
           fail(errno);
}

bool FolderHandle::linkHere(const QByteArray& from, const QByteArray& to) const {
    const std::optional<struct stat> st = status(from);
    if (!st || !S_ISREG(st->st_mode)) {
        return fail(EINVAL);
    }
    return ::linkat(fd_, from.constData(), fd_, to.constData(), 0) == 0 || fail(errno);
}

std::optional<File> FolderHandle::createUnnamed(mode_t mode) const {
    const int fd = ::openat(fd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0) {
        fail(errno);
        return std::nullopt;
    }
    return File(fd);
}

bool FolderHandle::name(const File& file, const QByteArray& as) const {
    // Through the process's own view of the descriptor: naming it directly needs a privilege.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.descriptor());
    return ::linkat(AT_FDCWD, self.constData(), fd_, as.constData(), AT_SYMLINK_FOLLOW) == 0 ||
           fail(errno);
}

std::optional<File> FolderHandle::openForUpdate(const QByteArray& name) const {
    return openRegular(name, O_RDWR);
}

std::pair<dev_t, ino_t> FolderHandle::identity() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? std::pair{st.st_dev, st.st_ino} : std::pair<dev_t, ino_t>{};
}

bool FolderHandle::isWithin(const FolderHandle& ancestor) const {
    const std::pair<dev_t, ino_t> wanted = ancestor.identity();
    std::optional<FolderHandle> at = reopen();
    // Up through "..", which ends at "/": there it names the folder itself.
    for (int depth = 0; at && depth < 4096; ++depth) {
        const std::pair<dev_t, ino_t> here = at->identity();
        if (here == wanted) {
            return true;
        }
        const int fd = ::openat(at->fd_, "..", kFolderFlags);
        if (fd < 0) {
            return false;
        }
        FolderHandle up(fd);
        if (up.identity() == here) {
            return false;
        }
        at = std::move(up);
    }
    return false;
}

dev_t FolderHandle::device() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? st.st_dev : 0;
}

bool FolderHandle::syncFileSystem() const {
    return ::syncfs(fd_) == 0 || fail(errno);
}

unsigned processUmask() {
    // The kernel reports it since 4.7; setting and restoring it would race with other threads.
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status)) {
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        }
        std::fclose(status);
        if (found) {
            return mask & 0777;
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask & 0777;
}

}  // namespace selvanix::platform
