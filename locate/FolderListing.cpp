#include "FolderListing.h"

#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <memory>

namespace selvanix {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

bool isDriveRoot(const QString& folder) {
    return platform::hasDrive(folder) &&
           (folder.size() == 2 ||
            (folder.size() == 3 && (folder[2] == u'\\' || folder[2] == u'/')));
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
    QString name = relativeName;
    name.replace(u'\\', u'/');
    struct stat st {};
    return folder_ >= 0 && !name.isEmpty() &&
           ::fstatat(folder_, QFile::encodeName(name).constData(), &st, 0) == 0 &&
           !S_ISDIR(st.st_mode);
}

bool FolderListing::setExistingDirectory(const QString& folder) {
    items_.clear();
    release();
    QString host = platform::toHostPath(folder);
    if (host.isEmpty()) {
        throw EInOutError(3);
    }
    folder_ = enterFolder(host);
    if (folder_ < 0) {
        return false;
    }
    const int fd = folder_;
    const int readable = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0) {
        return true;  // entered but not read: nothing listed
    }
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(readable));
    if (!dir) {
        ::close(readable);
        return true;
    }
    if (!host.endsWith(u'/')) {
        host += u'/';
    }
    const bool root = isDriveRoot(folder);
    while (const dirent* entry = ::readdir(dir.get())) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == u"." || name == u"..") {
            if (!root) {
                items_.append(u'[' + name + u']');
            }
            continue;
        }
        if (name.startsWith(u'.')) {
            continue;  // hidden
        }
        bool folderEntry = entry->d_type == DT_DIR;
        bool fileEntry = entry->d_type == DT_REG;
        if (!folderEntry && !fileEntry) {
            // Links are followed; what is neither file nor folder is a system entry.
            struct stat st {};
            if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, 0) != 0) {
                continue;
            }
            folderEntry = S_ISDIR(st.st_mode);
            fileEntry = S_ISREG(st.st_mode);
        }
        if (folderEntry) {
            if (platform::driveMap().isVirtualMountPoint(host + name)) {
                continue;  // system
            }
            items_.append(u'[' + name + u']');
        } else if (fileEntry) {
            items_.append(name);
        }
    }
    std::sort(items_.begin(), items_.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return true;
}

}  // namespace selvanix
