#include "SaveBody.h"

#include <QDateTime>

#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/handles/AtomicFile.h"
#include "platform/handles/File.h"

#include "BodyFile.h"

namespace selvanix::net {

namespace {

// Writes a part into the existing file at its offset; on failure the file is cut back to its
// old length and the bytes the part overwrote are put back.
template <typename Write>
bool writeAt(const QString& path, qint64 offset, Write&& writePart) {
    std::optional<platform::File> file =
        platform::File::open(path, platform::File::Mode::ReadWrite);
    if (!file) {
        return false;
    }
    const qint64 oldSize = file->size();
    if (oldSize < offset) {
        return false;  // a gap would be filled with zeros
    }
    // The body starts inside the old bytes; keep them to put back if the write fails.
    QByteArray overwritten(oldSize - offset, Qt::Uninitialized);
    if (file->readAt(offset, overwritten.data(), overwritten.size()) != overwritten.size()) {
        return false;
    }
    if (writePart(*file)) {
        return file->close();
    }
    file->resize(oldSize);
    if (file->seek(offset)) {
        file->write(overwritten);
    }
    return false;
}

}  // namespace

bool SaveBodyToFile(const QString& path, const QByteArray& body, qint64 offset,
                    qint64 lastModifiedMs) {
    const bool saved =
        offset > 0
            ? writeAt(path, offset,
                      [&](platform::File& file) { return file.seek(offset) && file.write(body); })
            : platform::replaceFileAtomically(path, body, platform::Durability::Cached);
    if (saved && lastModifiedMs != 0) {
        platform::setLastWriteTime(path, QDateTime::fromMSecsSinceEpoch(lastModifiedMs, Qt::UTC));
    }
    return saved;
}

bool SaveBodyToFile(const QString& path, BodyFile& body, qint64 offset, qint64 lastModifiedMs) {
    if (offset == 0) {
        return body.publishAs(platform::toHostPath(path), lastModifiedMs);
    }
    const bool saved = writeAt(path, offset, [&](platform::File& file) {
        return body.copyInto(file.descriptor(), offset);
    });
    if (saved && lastModifiedMs != 0) {
        platform::setLastWriteTime(path, QDateTime::fromMSecsSinceEpoch(lastModifiedMs, Qt::UTC));
    }
    return saved;
}

}  // namespace selvanix::net
