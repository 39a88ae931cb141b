#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <memory>

namespace selvanix::platform {

// The answers of the drive-type query for "X:/".
enum DriveType : int {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
};

// Gives drive letters a host folder and a drive type.
class DriveMap {
public:
    struct Drive {
        QString hostRoot;  // host folder, without trailing '/' except for "/"
        DriveType type = DRIVE_NO_ROOT_DIR;
    };

    // Letters are 'A'..'Z' in either case; anything else is ignored.
    void setDrive(QChar letter, const QString& hostRoot, DriveType type);
    void removeDrive(QChar letter);
    // The drive of a letter, or nullptr when the letter has no drive.
    const Drive* drive(QChar letter) const;
    DriveType driveType(QChar letter) const;

    // Host folders of virtual file systems that show as "system" entries.
    void addVirtualMountPoint(const QString& hostPath);
    bool isVirtualMountPoint(const QString& hostPath) const;
    // The drive whose host folder holds the host path most closely, or nullptr.
    const Drive* driveOfHostPath(const QString& hostPath) const;

private:
    std::array<Drive, 26> drives_{};
    QStringList virtualMountPoints_;
};

// The drive map every path is mapped through; built from the mount table on first use.
const DriveMap& driveMap();
// Replaces the process's drive map (tests install maps over temporary folders).
void setDriveMap(DriveMap map);

// The drive type of a root such as "C:/" or "C:\"; 1 when it is no drive root.
int GetDriveTypeW(const QString& rootPath);

// The type of the drive an installer path lies on: its letter's, or for a host path the
// drive whose folder holds it most closely.
int driveTypeOfPath(const QString& path);

// Drive letters A and B are floppies whatever the map says; otherwise the drive's type.
bool isOnRemovableDrive(const QString& path);

}  // namespace selvanix::platform
