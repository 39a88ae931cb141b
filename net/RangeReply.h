#pragma once

#include <optional>
#include <vector>

#include "BodyAssembly.h"
#include "ByteRanges.h"
#include "HttpTransfer.h"
#include "RangeAnswer.h"

namespace selvanix::net {

// What If-Range may carry: a strong ETag, else the date.
QByteArray validatorOf(const HttpReplyHead& head);

// One reply to a request for ranges carrying If-Range, as it arrives: its head says what it
// is, its body is held to the request.
class RangeReply {
public:
    RangeReply(std::vector<ByteRange> asked, qint64 fileSize, QByteArray validator);

    // False when no body of this reply is wanted.
    bool head(const HttpReplyHead& head);
    // False when the body breaks the rules or the sink refused.
    bool body(const char* data, std::size_t size, const RangeSource::Sink& sink);
    // Changed when the file is no longer the one asked about; otherwise Done, and missing()
    // says what the reply did not deliver.
    RangeSource::Result result() const { return result_; }
    std::vector<ByteRange> missing() const { return answer_.missing(); }

private:
    std::size_t asked_;
    QByteArray validator_;
    RangeAnswer answer_;
    std::optional<MultipartRanges> parts_;
    RangeSource::Result result_ = RangeSource::Result::Done;
};

}  // namespace selvanix::net
