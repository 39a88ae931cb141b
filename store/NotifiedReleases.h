#pragma once

#include "InstalledTargets.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace selvanix {

// The lock in the data folder held while releases are shown and remembered.
inline constexpr char kNotifiedLockName[] = ".notified.lock";

// The releases the desktop was told of, each for one target: a notification comes once per
// release and target, however often the check runs.
class NotifiedReleases {
public:
    // Read from the data folder within its bound; empty when there is none.
    static NotifiedReleases read(const platform::FolderHandle& dataFolder);

    bool contains(const InstalledTarget& target, const QString& version) const;
    // Remembers one, the oldest going past the bound of the installed targets' list.
    void add(const InstalledTarget& target, const QString& version);
    // Replaces the file whole; false when it could not be written.
    bool write(const platform::FolderHandle& dataFolder) const;

private:
    static QByteArray key(const InstalledTarget& target, const QString& version);
    std::vector<QByteArray> keys_;
};

}  // namespace selvanix
