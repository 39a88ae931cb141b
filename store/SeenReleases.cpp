#include "SeenReleases.h"

#include "DataFolderFile.h"
#include "InstalledTargets.h"

#include "platform/handles/FileLock.h"

#include <QUrl>
#include <algorithm>
#include <chrono>
#include <variant>

namespace selvanix {

namespace {

constexpr char kName[] = "seen.list";
constexpr char kHeader[] = "selvanix-seen 1";
constexpr char kLockName[] = ".seen.lock";
constexpr qint64 kMaxBytes = static_cast<qint64>(kMaxInstalledTargets) * 256;

QByteArray releaseKey(const QString& stem, const QString& version) {
    return QUrl::toPercentEncoding(stem) + ' ' + QUrl::toPercentEncoding(version);
}

}  // namespace

SeenReleases SeenReleases::read(const platform::FolderHandle& dataFolder) {
    SeenReleases releases;
    for (const QByteArray& line : readDataLines(dataFolder, kName, kHeader, kMaxBytes)) {
        const QList<QByteArray> fields = line.split(' ');
        bool number = false;
        const qint64 seconds = fields.size() == 3 ? fields[2].toLongLong(&number) : 0;
        if (number && seconds > 0) {
            releases.seen_.push_back({fields[0] + ' ' + fields[1], seconds});
        }
    }
    return releases;
}

QDateTime SeenReleases::firstSeen(const QString& stem, const QString& version,
                                  const QDateTime& now) {
    const QByteArray key = releaseKey(stem, version);
    const auto found = std::find_if(seen_.begin(), seen_.end(),
                                    [&key](const Seen& s) { return s.release == key; });
    if (found != seen_.end()) {
        return QDateTime::fromSecsSinceEpoch(found->seconds, Qt::UTC);
    }
    seen_.push_back({key, now.toSecsSinceEpoch()});
    if (seen_.size() > kMaxInstalledTargets) {
        seen_.erase(seen_.begin(), seen_.end() - kMaxInstalledTargets);
    }
    return now;
}

// A check fetches descriptors between its read and this write, and another check may have
// written meanwhile: what that one saw is kept, and of one release the earlier sighting stands.
bool SeenReleases::write(const platform::FolderHandle& dataFolder) const {
    const auto lock = platform::FileLock::take(
        dataFolder, kLockName, platform::FileLock::Access::Write, std::chrono::seconds(10));
    if (!std::holds_alternative<platform::FileLock>(lock)) {
        return false;
    }
    std::vector<Seen> merged = read(dataFolder).seen_;
    for (const Seen& mine : seen_) {
        const auto found = std::find_if(merged.begin(), merged.end(), [&mine](const Seen& s) {
            return s.release == mine.release;
        });
        if (found == merged.end()) {
            merged.push_back(mine);
        } else {
            found->seconds = std::min(found->seconds, mine.seconds);
        }
    }
    if (merged.size() > kMaxInstalledTargets) {
        merged.erase(merged.begin(), merged.end() - kMaxInstalledTargets);
    }
    std::vector<QByteArray> lines;
    for (const Seen& s : merged) {
        lines.push_back(s.release + ' ' + QByteArray::number(s.seconds));
    }
    return writeDataLines(dataFolder, kName, kHeader, lines);
}

QDateTime releasedAt(const QString& descriptorDate, const QDateTime& firstSeen) {
    const QDate date = QDate::fromString(descriptorDate.trimmed(), QStringLiteral("d.M.yyyy"));
    if (!date.isValid()) {
        return firstSeen;
    }
    return std::max(firstSeen, QDateTime(date, QTime(0, 0)));
}

}  // namespace selvanix
