#include "NotifiedReleases.h"

#include "platform/handles/StagedFile.h"

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
    const std::optional<QByteArray> text = readBounded(dataFolder, kName, kMaxBytes);
    if (!text) {
        return notified;
    }
    const QList<QByteArray> lines = text->split('\n');
    if (lines.isEmpty() || lines.first() != kHeader) {
        return notified;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].count(' ') == 3 && !lines[i].contains('\r')) {
            notified.keys_.push_back(lines[i]);
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
    QByteArray text = QByteArray(kHeader) + '\n';
    for (const QByteArray& line : keys_) {
        text += line + '\n';
    }
    std::optional<platform::StagedFile> staged = platform::StagedFile::create(dataFolder, kName);
    return staged && staged->file().write(text) && staged->file().flush() && staged->commit();
}

}  // namespace selvanix
