#include "FolderListing.h"

#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/handles/Descriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

namespace selvanix {

namespace {

using platform::Descriptor;

bool isDriveRoot(const QString& folder) {
    return platform::hasDrive(folder) &&
           (folder.size() == 2 ||
            (folder.size() == 3 && (folder[2] == u'\\' || folder[2] == u'/')));
}

// What a listed name is: a folder, a file, or something the listing leaves out.
enum class Kind { Folder, File, Skipped };

Kind kindOf(int folder, const char* name, unsigned char type) {
    struct stat st {};
    switch (type) {
        case DT_DIR:
            return Kind::Folder;
        case DT_REG:
            return Kind::File;
        case DT_LNK:
            break;
        case DT_UNKNOWN:
            if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                return Kind::Skipped;
            }
            if (S_ISDIR(st.st_mode)) {
                return Kind::Folder;
            }
            if (!S_ISLNK(st.st_mode)) {
                return S_ISREG(st.st_mode) ? Kind::File : Kind::Skipped;
            }
            break;
        default:
            return Kind::Skipped;  // a device, pipe or socket: a system entry
    }
    // A link lists as the file it leads to; a link to a folder is a junction, left out.
    return ::fstatat(folder, name, &st, 0) == 0 && S_ISREG(st.st_mode) ? Kind::File : Kind::Skipped;
}

}  // namespace

int enterFolder(const QString& hostFolder) {
    const int fd =
        ::open(QFile::encodeName(hostFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return -1;
        }
        throw EInOutError(platformErrorFromErrno(errno));
    }
    if (::faccessat(fd, ".", X_OK, 0) != 0) {
        const int error = errno;
        ::close(fd);
        throw EInOutError(platformErrorFromErrno(error));
    }
    return fd;
}

FolderListing::~FolderListing() {
    release();
}

void FolderListing::release() {
    if (folder_ >= 0) {
        ::close(folder_);
        folder_ = -1;
    }
}

void FolderListing::setDirectory(const QString& folder) {
    if (!setExistingDirectory(folder)) {
        throw EInOutError(2);
    }
}

bool FolderListing::holdsFile(const QString& relativeName) const {
    if (folder_ < 0) {
        return false;
    }
    QString name = relativeName;
    name.replace(u'\\', u'/');
    const QStringList parts = name.split(u'/');
    // Folders on the way are entered without following a link; the name itself may be one.
    std::optional<Descriptor> at;
    int from = folder_;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part.isEmpty() || part == u"." || part == u"..") {
            return false;
        }
        const QByteArray host = QFile::encodeName(part);
        if (i + 1 == parts.size()) {
            struct stat st {};
            return ::fstatat(from, host.constData(), &st, 0) == 0 && !S_ISDIR(st.st_mode);
        }
        const int next =
            ::openat(from, host.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            return false;
        }
        at.emplace(next);
        from = next;
    }
    return false;
}

bool FolderListing::setExistingDirectory(const QString& folder) {
    items_.clear();
    folders_.clear();
    release();
    const QString host = platform::toHostPath(folder);
    if (host.isEmpty()) {
        throw EInOutError(3);
    }
    const int fd = enterFolder(host);
    if (fd < 0) {
        return false;
    }
    folder_ = fd;
    ::fstat(fd, &status_);
    const Descriptor readable(::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (readable.get() >= 0) {
        list(readable.get(), isDriveRoot(folder));
    }
    return true;  // entered but not read: nothing listed
}

FolderEntered FolderListing::setSubfolder(const FolderListing& parent, const QString& name,
                                          bool read) {
    items_.clear();
    folders_.clear();
    release();
    const QByteArray host = QFile::encodeName(name);
    // One open enters and reads the folder; only when that is refused does it matter which.
    const int flags = O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(parent.folder_, host.constData(), (read ? O_RDONLY : O_PATH) | flags);
    bool readable = fd >= 0 && read;
    if (fd < 0 && (errno == EACCES || errno == EPERM) && read) {
        fd = ::openat(parent.folder_, host.constData(), O_PATH | flags);
        if (fd >= 0 && ::faccessat(fd, ".", X_OK, 0) != 0) {
            ::close(fd);
            return FolderEntered::Refused;
        }
    }
    if (fd < 0) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
            case ELOOP:
                return FolderEntered::Missing;
            case EACCES:
            case EPERM:
                return FolderEntered::Refused;
            default:
                throw EInOutError(platformErrorFromErrno(errno));
        }
    }
    Descriptor held(fd);
    if (::fstat(fd, &status_) != 0) {
        throw EInOutError(platformErrorFromErrno(errno));
    }
    if (!read && ::faccessat(fd, ".", X_OK, 0) != 0) {
        return FolderEntered::Refused;
    }
    if (readable) {
        list(fd, false);
    }
    folder_ = held.release();
    return FolderEntered::Listed;
}

void FolderListing::list(int fd, bool root) {
    std::vector<std::pair<QString, bool>> entries;
    alignas(8) std::array<char, 32768> buffer;
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer.data(), buffer.size());
        if (n <= 0) {
            break;  // the end, or a folder that cannot be read on: what was read stays
        }
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.') {
                const bool dots = name[1] == '\0' || (name[1] == '.' && name[2] == '\0');
                if (dots && !root) {
                    entries.emplace_back(u'[' + QString::fromLatin1(name) + u']', false);
                }
                continue;  // hidden, or the dots of a root
            }
            const Kind kind = kindOf(fd, name, entry->d_type);
            if (kind == Kind::Folder) {
                entries.emplace_back(u'[' + QFile::decodeName(name) + u']', true);
            } else if (kind == Kind::File) {
                entries.emplace_back(QFile::decodeName(name), false);
            }
        }
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    items_.reserve(static_cast<qsizetype>(entries.size()));
    folders_.reserve(entries.size());
    for (auto& [text, folder] : entries) {
        items_.append(std::move(text));
        folders_.push_back(folder);
    }
}

}  // namespace selvanix
