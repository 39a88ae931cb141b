#include "DriveMap.h"

#include "MountTable.h"
#include "Paths.h"

#include <mutex>
#include <optional>

namespace selvanix::platform {

namespace {

std::optional<int> letterIndex(QChar letter) {
    const char16_t c = letter.toUpper().unicode();
    if (c < u'A' || c > u'Z') {
        return std::nullopt;
    }
    return c - u'A';
}

std::mutex mapMutex;
std::shared_ptr<const DriveMap> currentMap;

}  // namespace

void DriveMap::setDrive(QChar letter, const QString& hostRoot, DriveType type) {
    if (const auto i = letterIndex(letter)) {
        QString root = hostRoot;
        while (root.size() > 1 && root.endsWith(u'/')) {
            root.chop(1);
        }
        drives_[*i] = Drive{root, type};
    }
}

void DriveMap::removeDrive(QChar letter) {
    if (const auto i = letterIndex(letter)) {
        drives_[*i] = Drive{};
    }
}

const DriveMap::Drive* DriveMap::drive(QChar letter) const {
    const auto i = letterIndex(letter);
    if (!i || drives_[*i].hostRoot.isEmpty()) {
        return nullptr;
    }
    return &drives_[*i];
}

DriveType DriveMap::driveType(QChar letter) const {
    const Drive* d = drive(letter);
    return d ? d->type : DRIVE_NO_ROOT_DIR;
}

void DriveMap::addVirtualMountPoint(const QString& hostPath) {
    virtualMountPoints_.append(hostPath);
}

bool DriveMap::isVirtualMountPoint(const QString& hostPath) const {
    QString path = hostPath;
    while (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    return virtualMountPoints_.contains(path);
}

const DriveMap::Drive* DriveMap::driveOfHostPath(const QString& hostPath) const {
    const Drive* best = nullptr;
    for (const Drive& d : drives_) {
        if (d.hostRoot.isEmpty()) {
            continue;
        }
        const bool inside =
            d.hostRoot == u"/" || hostPath == d.hostRoot || hostPath.startsWith(d.hostRoot + u'/');
        if (inside && (best == nullptr || d.hostRoot.size() > best->hostRoot.size())) {
            best = &d;
        }
    }
    return best;
}

const DriveMap& driveMap() {
    std::lock_guard lock(mapMutex);
    if (!currentMap) {
        currentMap = std::make_shared<const DriveMap>(systemDriveMap());
    }
    // The map stays alive until replaced; replacing happens only in set-up code.
    return *currentMap;
}

void setDriveMap(DriveMap map) {
    std::lock_guard lock(mapMutex);
    currentMap = std::make_shared<const DriveMap>(std::move(map));
}

int GetDriveTypeW(const QString& rootPath) {
    // Only a bare root names a drive: "X:", "X:/" or "X:\".
    if (rootPath.size() < 2 || rootPath.size() > 3 || rootPath[1] != u':') {
        return DRIVE_NO_ROOT_DIR;
    }
    if (rootPath.size() == 3 && rootPath[2] != u'/' && rootPath[2] != u'\\') {
        return DRIVE_NO_ROOT_DIR;
    }
    return driveMap().driveType(rootPath[0]);
}

int driveTypeOfPath(const QString& path) {
    if (hasDrive(path)) {
        return driveMap().driveType(path[0]);
    }
    const DriveMap::Drive* d = driveMap().driveOfHostPath(toHostPath(path));
    return d ? d->type : DRIVE_NO_ROOT_DIR;
}

bool isOnRemovableDrive(const QString& path) {
    if (hasDrive(path) && (path[0].toUpper() == u'A' || path[0].toUpper() == u'B')) {
        return true;
    }
    return driveTypeOfPath(path) == DRIVE_REMOVABLE;
}

}  // namespace selvanix::platform
