#include "SaveBody.h"

#include <QDateTime>

#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileOps.h"

namespace selvanix::net {

namespace {

bool writeAt(const QString& path, const QByteArray& body, qint64 offset) {
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
    if (file->seek(offset) && file->write(body)) {
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
        offset > 0 ? writeAt(path, body, offset)
                   : platform::replaceFileAtomically(path, body, platform::Durability::Cached);
    if (saved && lastModifiedMs != 0) {
        platform::setLastWriteTime(path, QDateTime::fromMSecsSinceEpoch(lastModifiedMs, Qt::UTC));
    }
    return saved;
}

}  // namespace selvanix::net
