#pragma once

#include "Manifest.h"

#include <QStringList>

namespace selvanix {

// What an uninstall did to a target, path by path.
struct UninstallResult {
    QStringList removed;
    QStringList kept;     // changed since they were installed: the user's now
    QStringList missing;  // gone already
};

// Removes the recorded files that are unchanged, the installer's settings file, the record
// and the folders the recorded paths leave empty. Everything is reached from the target's
// handle, never through a link, and only by recorded paths.
UninstallResult uninstallTarget(const platform::FolderHandle& target, const Manifest& record);

// Removes the folders of the paths that are empty now, deepest first.
void removeEmptyFolders(const platform::FolderHandle& target,
                        const std::vector<Manifest::Entry>& files);

}  // namespace selvanix
