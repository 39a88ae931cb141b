#pragma once

#include <optional>
#include <vector>

#include "BodyAssembly.h"
#include "ByteRanges.h"

namespace selvanix::net {

// One answer to a request for ranges, held to what was asked: every part lies within the
// span of the asked ranges and touches one of them, no part lies over another and there are
// no more parts than ranges (a server may merge neighbours, never add). Only asked bytes go
// on to the sink, so whatever a server sends, an answer costs no more than the request.
class RangeAnswer {
public:
    using Sink = RangeSource::Sink;
    // asked: ascending and disjoint, as requested.
    RangeAnswer(std::vector<ByteRange> asked, qint64 fileSize);

    // A part begins; false when this answer may not hold it.
    bool beginPart(const ContentRange& range);
    // Bytes of the current part not yet taken.
    qint64 partLeft() const;
    // The next bytes of the current part (no more than partLeft()); false when there are more
    // or the sink refused.
    bool take(const char* data, std::size_t size, const Sink& sink);
    // The asked bytes that no part delivered, ascending.
    std::vector<ByteRange> missing() const;

private:
    struct Part {
        qint64 first = 0;
        qint64 end = 0;  // one past the last byte announced
        qint64 at = 0;   // the next byte to come
    };

    std::vector<ByteRange> asked_;
    qint64 fileSize_;
    std::vector<Part> parts_;
};

}  // namespace selvanix::net
