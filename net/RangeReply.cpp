#include "RangeReply.h"

namespace selvanix::net {

QByteArray validatorOf(const HttpReplyHead& head) {
    if (!head.etag.isEmpty() && !head.etag.startsWith("W/")) {
        return head.etag;
    }
    return head.lastModified;
}

RangeReply::RangeReply(std::vector<ByteRange> asked, qint64 fileSize, QByteArray validator)
    : asked_(asked.size()), validator_(std::move(validator)), answer_(std::move(asked), fileSize) {}

bool RangeReply::head(const HttpReplyHead& head) {
    // The unchanged file whole, to several ranges: they are refused, not the file.
    if (head.status == 200 && (asked_ == 1 || validatorOf(head) != validator_)) {
        result_ = RangeSource::Result::Changed;
        return false;
    }
    if (head.status != 206) {
        return false;
    }
    if (const std::optional<QByteArray> boundary = byteRangesBoundary(head.contentType)) {
        parts_.emplace(*boundary);
        return true;
    }
    const std::optional<ContentRange> range = parseContentRange(head.contentRange);
    return range && answer_.beginPart(*range);
}

bool RangeReply::body(const char* data, std::size_t size, const RangeSource::Sink& sink) {
    return parts_ ? parts_->feed(data, size, answer_, sink) : answer_.take(data, size, sink);
}

}  // namespace selvanix::net
