#pragma once

#include "ArchiveStream.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace selvanix {

// Finds a four-byte signature going forward through the archive, reading it in blocks.
class SignatureScanner {
public:
    // A match counts only when at least minRemaining bytes follow from its start.
    SignatureScanner(const ArchiveStream& stream, std::uint32_t signature, qint64 block,
                     qint64 minRemaining);

    // The first match at or after from.
    std::optional<qint64> find(qint64 from);

private:
    bool load(qint64 from);

    const ArchiveStream& stream_;
    std::uint32_t signature_;
    qint64 block_;
    qint64 minRemaining_;
    QByteArray buffer_;
    qint64 bufferStart_ = -1;
};

}  // namespace selvanix
