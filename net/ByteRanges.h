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

class RangeAnswer;

// Reads a multipart/byteranges body as it streams in, handing each part to the answer it must
// fit, which passes the asked bytes on with their offset in the file.
class MultipartRanges {
public:
    using Sink = std::function<bool(qint64 offset, const char* data, std::size_t size)>;
    explicit MultipartRanges(QByteArray boundary);

    // False when the body is not such a body, the answer refuses a part or the sink refused.
    bool feed(const char* data, std::size_t size, RangeAnswer& answer, const Sink& sink);
    // The closing delimiter has come.
    bool finished() const { return state_ == State::End; }

private:
    enum class State { Head, Body, End };
    bool readHead(RangeAnswer& answer);

    QByteArray delimiter_;
    State state_ = State::Head;
    QByteArray head_;
    qint64 epilogue_ = 0;
};

}  // namespace selvanix::net
