#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace selvanix::platform {

// Attribute bits as the system's callers know them.
enum FileAttribute : std::uint32_t {
    FILE_ATTRIBUTE_READONLY = 0x01,
    FILE_ATTRIBUTE_HIDDEN = 0x02,
    FILE_ATTRIBUTE_SYSTEM = 0x04,
    FILE_ATTRIBUTE_DIRECTORY = 0x10,
    FILE_ATTRIBUTE_ARCHIVE = 0x20,
    FILE_ATTRIBUTE_NORMAL = 0x80,
};

// Every function takes an installer path (see toHostPath) and follows symbolic links.
// Failures return false or nothing, with the platform error code in lastError().

bool fileExists(const QString& path);       // a file, not a folder
bool directoryExists(const QString& path);  // a folder

bool deleteFile(const QString& path);  // files only, never folders

// Hidden: the name starts with '.'; system: a virtual file system's mount point, or neither a
// file nor a folder; read-only: no write permission bit; folder.
std::optional<std::uint32_t> fileAttributes(const QString& path);
// Only the read-only bit has an effect: it removes every write bit; without it the owner may
// write again.
bool setFileAttributes(const QString& path, std::uint32_t attributes);

bool setLastWriteTime(const QString& path, const QDateTime& time);
std::optional<QDateTime> lastWriteTime(const QString& path);

// Renames a file over another, replacing it.
bool replaceFile(const QString& from, const QString& to);
// Sets the permission bits of a file (never set-user or set-group).
bool setPermissions(const QString& path, unsigned mode);

// Creates the folder and every missing parent; true when the folder exists afterwards.
bool createFolder(const QString& path);

// The platform error code of the last failed call on this thread.
int lastError();
void setLastError(int code);

// The installer's own folder as a host path with a trailing '/': the executable's folder for a
// portable copy, the user's data folder (made when missing) for an installed one (Places.h).
QString installerFolder();
// Lets tests run the installer from a temporary folder; an empty text restores the default.
// Such a folder has no all-users settings until setSystemSettingsFile names them.
void setInstallerFolder(const QString& hostFolder);

// The settings file an administrator gives every user of an installed copy; empty for a
// portable copy.
QString systemSettingsFile();
void setSystemSettingsFile(const QString& hostPath);

}  // namespace selvanix::platform
