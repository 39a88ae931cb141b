#pragma once

#include "platform/handles/FolderHandle.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

namespace selvanix {

// When this copy first saw each release of a product: a cool-down counts from the later of
// that and the date the publisher wrote, so a release dated long ago but published today
// still waits.
class SeenReleases {
public:
    static SeenReleases read(const platform::FolderHandle& dataFolder);

    // When the release was first seen; now, and remembered, when it is new.
    QDateTime firstSeen(const QString& stem, const QString& version, const QDateTime& now);
    // Adds these sightings to the file as it stands now, under its lock; false when it could
    // not be written.
    bool write(const platform::FolderHandle& dataFolder) const;

private:
    struct Seen {
        QByteArray release;  // "stem version", the version percent-encoded
        qint64 seconds = 0;  // since the epoch, UTC
    };
    std::vector<Seen> seen_;
};

// When a release counts as published: the later of its descriptor's date (D.M.YYYY, local
// midnight; a date that cannot be read counts as absent) and when this copy first saw it.
QDateTime releasedAt(const QString& descriptorDate, const QDateTime& firstSeen);

}  // namespace selvanix
