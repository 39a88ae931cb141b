// A download built from a kept file and ranges of the new one: the tail first, then what the
// assembly asks for, all over the item's one connection.
#include <algorithm>

#include "BodyAssembly.h"
#include "BodyFile.h"
#include "ByteRanges.h"
#include "DownloadItem.h"
#include "DownloadList.h"
#include "HttpDate.h"
#include "HttpTransfer.h"
#include "InternetErrors.h"
#include "Tick.h"

namespace selvanix::net {

namespace {

// The requests of one fetch stay short enough for any server's header limit.
constexpr std::size_t kMaxRangesPerRequest = 100;

// What If-Range may carry: a strong ETag, else the date.
QByteArray validatorOf(const HttpReplyHead& head) {
    if (!head.etag.isEmpty() && !head.etag.startsWith("W/")) {
        return head.etag;
    }
    return head.lastModified;
}

}  // namespace

// The item's ranges: each request carries If-Range, so a file replaced on the server answers
// with the whole new file (a 200), which is never mixed into the assembly.
class ItemRanges final : public RangeSource {
public:
    ItemRanges(DownloadItem& item, HttpTransfer& session, HttpRequest request, qint64 fileSize,
               const QByteArray& validator)
        : item_(item), session_(session), request_(std::move(request)), fileSize_(fileSize) {
        request_.headers += "\r\nIf-Range: " + validator;
    }

    void expect(qint64 bytes) override {
        item_.announced_ = static_cast<qint64>(item_.FDataSize) + bytes;
    }

    Result fetch(const std::vector<ByteRange>& ranges, const Sink& sink) override {
        for (std::size_t i = 0; i < ranges.size(); i += kMaxRangesPerRequest) {
            const std::vector<ByteRange> batch(
                ranges.begin() + static_cast<std::ptrdiff_t>(i),
                ranges.begin() +
                    static_cast<std::ptrdiff_t>(std::min(ranges.size(), i + kMaxRangesPerRequest)));
            if (const Result r = fetchBatch(batch, sink); r != Result::Done) {
                return r;
            }
        }
        return Result::Done;
    }

private:
    Result fetchBatch(const std::vector<ByteRange>& batch, const Sink& sink) {
        HttpRequest request = request_;
        request.range = rangesValue(batch);
        std::optional<MultipartRanges> parts;
        qint64 offset = 0;
        qint64 left = 0;
        Result result = Result::Failed;
        const auto onHead = [&](const HttpReplyHead& head) {
            if (head.status == 200) {
                result = Result::Changed;
                return false;
            }
            if (head.status != 206) {
                return false;
            }
            if (const std::optional<QByteArray> boundary = byteRangesBoundary(head.contentType)) {
                parts.emplace(*boundary, fileSize_);
                return true;
            }
            // One part may only be all that was asked, perhaps with the gaps between.
            const std::optional<ContentRange> range = parseContentRange(head.contentRange);
            if (!range || range->complete != fileSize_ || range->first > batch.front().at ||
                range->last + 1 < batch.back().at + batch.back().length) {
                return false;
            }
            offset = range->first;
            left = range->last - range->first + 1;
            return true;
        };
        bool refused = false;
        const auto onData = [&](const char* data, std::size_t size) {
            item_.notifyBody(item_.countPiece(size));
            if (item_.Terminated) {
                return false;
            }
            if (parts) {
                refused = !parts->feed(data, size, sink);
                return !refused;
            }
            if (static_cast<qint64>(size) > left || !sink(offset, data, size)) {
                refused = true;
                return false;
            }
            offset += static_cast<qint64>(size);
            left -= static_cast<qint64>(size);
            return true;
        };
        const int code = session_.perform(request, onHead, onData);
        if (item_.Terminated) {
            return Result::Stopped;
        }
        if (result == Result::Changed) {
            return result;
        }
        const bool complete = parts ? parts->finished() : left == 0;
        return code == 0 && !refused && complete ? Result::Done : Result::Failed;
    }

    DownloadItem& item_;
    HttpTransfer& session_;
    HttpRequest request_;
    qint64 fileSize_;
};

bool DownloadItem::assembled(HttpTransfer& session, const HttpRequest& plain, int& code) {
    if (!FAssembly || FVerb != IV_GET || FRangeStart != 0 || FRangeEnd != 0 || FCheckOnly ||
        !FResultType.trimmed().isEmpty()) {
        return false;
    }
    const qint64 wanted = FAssembly->tailLength();
    HttpRequest tailRequest = plain;
    tailRequest.range = "bytes=-" + QByteArray::number(wanted);
    RemoteFile remote;
    bool partial = false;
    bool refused = false;
    HttpReplyHead tailHead;
    code = session.perform(
        tailRequest,
        [&](const HttpReplyHead& head) {
            if (head.status != 206) {
                return acceptHead(head);  // the whole file after all: taken as usual
            }
            const std::optional<ContentRange> range = parseContentRange(head.contentRange);
            remote.validator = validatorOf(head);
            if (!range || range->complete <= 0 || range->last + 1 != range->complete ||
                range->first != std::max<qint64>(0, range->complete - wanted) ||
                remote.validator.isEmpty() ||
                (FSizeLimit > 0 && static_cast<quint64>(range->complete) > FSizeLimit)) {
                refused = true;
                return false;
            }
            remote.size = range->complete;
            remote.tail.reserve(range->last - range->first + 1);
            tailHead = head;
            partial = true;
            headArrived_ = true;
            pieceTick_ = tickCount();
            notifiedBody_ = false;
            return true;
        },
        [&](const char* data, std::size_t size) {
            if (!partial) {
                return acceptPiece(data, size);
            }
            countPiece(size);
            if (remote.tail.size() + static_cast<qsizetype>(size) > remote.tail.capacity()) {
                refused = true;
                return false;
            }
            remote.tail.append(data, static_cast<qsizetype>(size));
            return !Terminated;
        });
    if (!partial) {
        return !refused;
    }
    if (Terminated) {
        code = ERROR_INTERNET_OPERATION_CANCELLED;
        return true;
    }
    if (code != 0 || refused || remote.tail.size() != std::min(wanted, remote.size)) {
        headArrived_ = false;
        return false;
    }
    ItemRanges ranges(*this, session, plain, remote.size, remote.validator);
    BodyAssembly::Outcome outcome = FAssembly->assemble(remote, ranges);
    if (outcome.stopped || Terminated) {
        code = ERROR_INTERNET_OPERATION_CANCELLED;
        return true;
    }
    if (!outcome.body) {
        headArrived_ = false;
        return false;
    }
    FBodyFile = std::move(outcome.body);
    FDataSize = static_cast<quint64>(FBodyFile->size());
    FReusedSize = outcome.reused;
    FProgress = 100;
    iStatusCode = 200;
    FActualURL = FURL;
    FActualType = QString::fromLatin1(tailHead.contentType).trimmed();
    FLastModified = parseHttpDate(tailHead.lastModified);
    Cookies = tailHead.cookies;
    code = 0;
    return true;
}

}  // namespace selvanix::net
