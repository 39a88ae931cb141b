#include "File.h"

#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace selvanix::platform {

namespace {

bool fail() {
    setLastError(platformErrorFromErrno(errno));
    return false;
}

}  // namespace

bool writeAllAt(int fd, const char* data, qint64 size, qint64 offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), offset);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool copyAllAt(int from, qint64 fromOffset, int to, qint64 toOffset, qint64 size) {
    loff_t in = fromOffset;
    loff_t out = toOffset;
    while (size > 0) {
        const ssize_t n = ::copy_file_range(from, &in, to, &out, static_cast<size_t>(size), 0);
        if (n > 0) {
            size -= n;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno == EXDEV || errno == EINVAL || errno == ENOSYS) {
            break;  // the kernel cannot copy between these: by hand below
        }
        return false;
    }
    char buffer[1 << 16];
    while (size > 0) {
        const ssize_t n =
            ::pread(from, buffer, static_cast<size_t>(std::min<qint64>(size, sizeof buffer)), in);
        if (n <= 0 || !writeAllAt(to, buffer, n, out)) {
            return false;
        }
        in += n;
        out += n;
        size -= n;
    }
    return true;
}

std::optional<File> File::open(const QString& path, Mode mode) {
    const QString mapped = toHostPath(path);
    if (mapped.isEmpty()) {
        setLastError(3);
        return std::nullopt;
    }
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::Create:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case Mode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
    }
    const int fd = ::open(QFile::encodeName(mapped).constData(), flags, 0666);
    if (fd < 0) {
        fail();
        return std::nullopt;
    }
    struct stat st {};
    const bool created = mode == Mode::Create || mode == Mode::CreateNew;
    if (!created && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        setLastError(5);
        return std::nullopt;
    }
    return File(fd);
}

File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

File::~File() {
    close();
}

qint64 File::read(char* data, qint64 maxSize) {
    for (;;) {
        const ssize_t n = ::read(fd_, data, static_cast<size_t>(maxSize));
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            fail();
            return -1;
        }
    }
}

qint64 File::readAt(qint64 offset, char* data, qint64 size) const {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(fd_, data + done, static_cast<size_t>(size - done), offset + done);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail();
            return -1;
        }
        done += n;
    }
    return done;
}

bool File::write(const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail();
        }
        data += n;
        size -= n;
    }
    return true;
}

bool File::seek(qint64 offset) {
    return ::lseek(fd_, offset, SEEK_SET) >= 0 || fail();
}

bool File::resize(qint64 size) {
    return ::ftruncate(fd_, size) == 0 || fail();
}

qint64 File::position() const {
    return ::lseek(fd_, 0, SEEK_CUR);
}

qint64 File::size() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? st.st_size : -1;
}

bool File::flush() {
    return ::fsync(fd_) == 0 || fail();
}

bool File::setLastWriteTime(qint64 msecsSinceEpoch) {
    timespec times[2];
    fillWriteTimes(msecsSinceEpoch, times);
    return ::futimens(fd_, times) == 0 || fail();
}

bool File::setPermissions(unsigned mode) {
    return ::fchmod(fd_, static_cast<mode_t>(mode & 07777)) == 0 || fail();
}

std::optional<File> File::openRegular(const QString& path) {
    const QString mapped = toHostPath(path);
    if (mapped.isEmpty()) {
        setLastError(3);
        return std::nullopt;
    }
    const int fd =
        ::open(QFile::encodeName(mapped).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        fail();
        return std::nullopt;
    }
    File file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        setLastError(platformErrorFromErrno(EINVAL));
        return std::nullopt;
    }
    return file;
}

std::optional<QByteArray> File::readWithin(const QString& path, qint64 bound) {
    std::optional<File> file = openRegular(path);
    if (!file) {
        return std::nullopt;
    }
    // One more than the bound tells a larger file, whatever its size said a moment before.
    QByteArray bytes(bound + 1, Qt::Uninitialized);
    const qint64 n = file->readAt(0, bytes.data(), bytes.size());
    if (n < 0 || n > bound) {
        return std::nullopt;
    }
    bytes.truncate(n);
    return bytes;
}

std::optional<File> File::duplicate() const {
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        fail();
        return std::nullopt;
    }
    return File(fd);
}

bool File::close() {
    if (fd_ < 0) {
        return true;
    }
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 || fail();
}

}  // namespace selvanix::platform
