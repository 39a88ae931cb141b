#pragma once

#include <QByteArray>
#include <functional>
#include <optional>
#include <vector>

#include "BodyAssembly.h"

namespace selvanix::net {

struct ContentRange {
    qint64 first = -1;
    qint64 last = -1;
    qint64 complete = -1;  // -1 when the server gave "*"
};

// "bytes first-last/complete"; nothing when it is not that.
std::optional<ContentRange> parseContentRange(const QByteArray& header);

// The Range value for ascending ranges: "bytes=a-b,c-d".
QByteArray rangesValue(const std::vector<ByteRange>& ranges);

// The boundary of a multipart/byteranges type; nothing for any other type.
std::optional<QByteArray> byteRangesBoundary(const QByteArray& contentType);

// Reads a multipart/byteranges body as it streams in, handing each part's bytes on with their
// offset in the file. Parts must belong to a file of fileSize bytes.
class MultipartRanges {
public:
    using Sink = std::function<bool(qint64 offset, const char* data, std::size_t size)>;
    MultipartRanges(QByteArray boundary, qint64 fileSize);

    // False when the body is not such a body or the sink refused.
    bool feed(const char* data, std::size_t size, const Sink& sink);
    // The closing delimiter has come.
    bool finished() const { return state_ == State::End; }

private:
    enum class State { Head, Body, End };
    bool readHead();

    QByteArray delimiter_;
    qint64 fileSize_;
    State state_ = State::Head;
    QByteArray head_;
    qint64 offset_ = 0;
    qint64 left_ = 0;
};

}  // namespace selvanix::net
