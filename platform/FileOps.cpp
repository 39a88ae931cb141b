#include "FileOps.h"

#include "Places.h"

#include "DriveMap.h"
#include "Exception.h"
#include "FileTime.h"
#include "Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>

namespace selvanix::platform {

namespace {

thread_local int lastErrorCode = 0;
std::mutex folderMutex;
QString folderOverride;
std::optional<QString> systemSettingsOverride;

bool fail(int errnoValue) {
    lastErrorCode = platformErrorFromErrno(errnoValue);
    return false;
}

// Maps the path; an unmapped drive fails like a missing path.
bool hostStat(const QString& path, QByteArray& host, struct stat& st) {
    const QString mapped = toHostPath(path);
    if (mapped.isEmpty()) {
        lastErrorCode = 3;
        return false;
    }
    host = QFile::encodeName(mapped);
    if (::stat(host.constData(), &st) != 0) {
        return fail(errno);
    }
    return true;
}

}  // namespace

int lastError() {
    return lastErrorCode;
}
void setLastError(int code) {
    lastErrorCode = code;
}

bool fileExists(const QString& path) {
    QByteArray host;
    struct stat st {};
    return hostStat(path, host, st) && !S_ISDIR(st.st_mode);
}

bool directoryExists(const QString& path) {
    QByteArray host;
    struct stat st {};
    return hostStat(path, host, st) && S_ISDIR(st.st_mode);
}

bool deleteFile(const QString& path) {
    const QString mapped = toHostPath(path);
    if (mapped.isEmpty()) {
        lastErrorCode = 3;
        return false;
    }
    return ::unlink(QFile::encodeName(mapped).constData()) == 0 || fail(errno);
}

std::optional<std::uint32_t> fileAttributes(const QString& path) {
    QByteArray host;
    struct stat st {};
    if (!hostStat(path, host, st)) {
        return std::nullopt;
    }
    std::uint32_t attributes = 0;
    const QString hostPath = QFile::decodeName(host);
    if (QFileInfo(hostPath).fileName().startsWith(u'.')) {
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    if ((!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) ||
        driveMap().isVirtualMountPoint(hostPath)) {
        attributes |= FILE_ATTRIBUTE_SYSTEM;
    }
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (S_ISDIR(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (attributes == 0) {
        attributes = FILE_ATTRIBUTE_NORMAL;
    }
    return attributes;
}

bool setFileAttributes(const QString& path, std::uint32_t attributes) {
    QByteArray host;
    struct stat st {};
    if (!hostStat(path, host, st)) {
        return false;
    }
    const mode_t old = st.st_mode & 07777;
    mode_t mode = old;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        mode |= S_IWUSR;
    }
    return mode == old || ::chmod(host.constData(), mode) == 0 || fail(errno);
}

bool replaceFile(const QString& from, const QString& to) {
    const QString source = toHostPath(from);
    const QString target = toHostPath(to);
    if (source.isEmpty() || target.isEmpty()) {
        lastErrorCode = 3;
        return false;
    }
    return ::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) ==
               0 ||
           fail(errno);
}

bool setPermissions(const QString& path, unsigned mode) {
    const QString mapped = toHostPath(path);
    if (mapped.isEmpty()) {
        lastErrorCode = 3;
        return false;
    }
    return ::chmod(QFile::encodeName(mapped).constData(), mode & 0777) == 0 || fail(errno);
}

bool setLastWriteTime(const QString& path, const QDateTime& time) {
    QByteArray host;
    struct stat st {};
    if (!hostStat(path, host, st)) {
        return false;
    }
    timespec times[2];
    fillWriteTimes(time.toMSecsSinceEpoch(), times);
    return ::utimensat(AT_FDCWD, host.constData(), times, 0) == 0 || fail(errno);
}

std::optional<QDateTime> lastWriteTime(const QString& path) {
    QByteArray host;
    struct stat st {};
    if (!hostStat(path, host, st)) {
        return std::nullopt;
    }
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(st.st_mtim.tv_sec) * 1000 +
                                          st.st_mtim.tv_nsec / 1000000);
}

bool createFolder(const QString& path) {
    const QString mapped = toHostPath(path);
    if (mapped.isEmpty()) {
        lastErrorCode = 3;
        return false;
    }
    struct stat existing {};
    if (::stat(QFile::encodeName(mapped).constData(), &existing) == 0 &&
        S_ISDIR(existing.st_mode)) {
        return true;
    }
    // Walk down from the root so the failing level gives the error code.
    const bool absolute = mapped.startsWith(u'/');
    QString current = absolute ? QStringLiteral("/") : QString();
    for (const QString& part : mapped.split(u'/', Qt::SkipEmptyParts)) {
        current += part;
        const QByteArray host = QFile::encodeName(current);
        struct stat st {};
        if (::stat(host.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                return fail(ENOTDIR);
            }
        } else if (::mkdir(host.constData(), 0777) != 0 && errno != EEXIST) {
            return fail(errno);
        }
        current += u'/';
    }
    return true;
}

QString installerFolder() {
    {
        std::lock_guard lock(folderMutex);
        if (!folderOverride.isEmpty()) {
            return folderOverride;
        }
    }
    const Places places = ownPlaces();
    if (places.installed && !places.installerFolder.isEmpty()) {
        // The user's own: made private, as it holds downloads and the user's settings.
        const QString folder = QDir::cleanPath(places.installerFolder);
        createFolder(QFileInfo(folder).path());
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
    }
    return places.installerFolder;
}

void setInstallerFolder(const QString& hostFolder) {
    std::lock_guard lock(folderMutex);
    folderOverride = hostFolder;
    if (!folderOverride.isEmpty() && !folderOverride.endsWith(u'/')) {
        folderOverride += u'/';
    }
    systemSettingsOverride.reset();
}

QString systemSettingsFile() {
    {
        std::lock_guard lock(folderMutex);
        if (systemSettingsOverride) {
            return *systemSettingsOverride;
        }
        if (!folderOverride.isEmpty()) {
            return {};
        }
    }
    return ownPlaces().systemSettings;
}

void setSystemSettingsFile(const QString& hostPath) {
    std::lock_guard lock(folderMutex);
    systemSettingsOverride = hostPath;
}

}  // namespace selvanix::platform
