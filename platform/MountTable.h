#pragma once

#include "DriveMap.h"

#include <QString>
#include <functional>
#include <vector>

namespace selvanix::platform {

// One line of /proc/self/mountinfo.
struct MountEntry {
    QString majorMinor;  // "8:1"
    QString root;        // the mounted folder inside its file system
    QString mountPoint;
    QString fsType;
    QString source;
};

std::vector<MountEntry> parseMountInfo(const QString& text);

// Answers whether the block device "major:minor" (source for messages) is removable.
using RemovableQuery = std::function<bool(const QString& majorMinor, const QString& source)>;

// "C:" is "/"; every further real mount gets the next letter from "D:" on, in table order.
DriveMap driveMapFromMounts(const std::vector<MountEntry>& mounts,
                            const RemovableQuery& isRemovable);

// The drive map of this machine: /proc/self/mountinfo and the sysfs "removable" flags.
DriveMap systemDriveMap();

}  // namespace selvanix::platform
