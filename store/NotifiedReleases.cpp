#include "NotifiedReleases.h"

#include "DataFolderFile.h"

#include <QUrl>
#include <algorithm>

namespace selvanix {

namespace {

constexpr char kName[] = "notified.list";
constexpr char kHeader[] = "selvanix-notified 1";
constexpr qint64 kMaxBytes = static_cast<qint64>(kMaxInstalledTargets) * 256;

}  // namespace

QByteArray NotifiedReleases::key(const InstalledTarget& target, const QString& version) {
    return QByteArray::number(static_cast<qulonglong>(target.device)) + ' ' +
           QByteArray::number(static_cast<qulonglong>(target.inode)) + ' ' +
           QUrl::toPercentEncoding(target.stem) + ' ' + QUrl::toPercentEncoding(version);
}

NotifiedReleases NotifiedReleases::read(const platform::FolderHandle& dataFolder) {
    NotifiedReleases notified;
    for (const QByteArray& line : readDataLines(dataFolder, kName, kHeader, kMaxBytes)) {
        if (line.count(' ') == 3 && !line.contains('\r')) {
            notified.keys_.push_back(line);
        }
    }
    return notified;
}

bool NotifiedReleases::contains(const InstalledTarget& target, const QString& version) const {
    return std::find(keys_.begin(), keys_.end(), key(target, version)) != keys_.end();
}

void NotifiedReleases::add(const InstalledTarget& target, const QString& version) {
    if (contains(target, version)) {
        return;
    }
    keys_.push_back(key(target, version));
    if (keys_.size() > kMaxInstalledTargets) {
        keys_.erase(keys_.begin(), keys_.end() - kMaxInstalledTargets);
    }
}

bool NotifiedReleases::write(const platform::FolderHandle& dataFolder) const {
    return writeDataLines(dataFolder, kName, kHeader, keys_);
}

}  // namespace selvanix
