// A download built from a kept file and ranges of the new one: the tail first, then what the
// assembly asks for, all over the item's one connection.
#include <algorithm>
#include <deque>

#include "BodyAssembly.h"
#include "BodyFile.h"
#include "ByteRanges.h"
#include "DownloadItem.h"
#include "DownloadList.h"
#include "HttpDate.h"
#include "HttpTransfer.h"
#include "InternetErrors.h"
#include "RangeAnswer.h"
#include "Tick.h"

namespace selvanix::net {

namespace {

// What zchunk and zsync keep to: short enough for any server's header limit.
constexpr std::size_t kMaxRangesPerRequest = 32;
// What one more request costs besides its bytes: the request and the answer's head.
constexpr qint64 kRequestCost = 1024;

// What If-Range may carry: a strong ETag, else the date.
QByteArray validatorOf(const HttpReplyHead& head) {
    if (!head.etag.isEmpty() && !head.etag.startsWith("W/")) {
        return head.etag;
    }
    return head.lastModified;
}

}  // namespace

// The item's ranges: each request carries If-Range, so a file replaced on the server answers
// with the whole new file (a 200), which is never mixed into the assembly. Several ranges go
// in one request while the server answers them all; after a refusal (416, or the unchanged
// file whole) or an answer short of them, the rest go one range a request while what the
// assembly saves, less what the requests cost, is still a tenth of the file.
class ItemRanges final : public RangeSource {
public:
    ItemRanges(DownloadItem& item, HttpTransfer& session, HttpRequest request, qint64 fileSize,
               QByteArray validator)
        : item_(item),
          session_(session),
          request_(std::move(request)),
          fileSize_(fileSize),
          validator_(std::move(validator)) {
        request_.headers += "\r\nIf-Range: " + validator_;
    }

    void expect(qint64 bytes) override {
        item_.announced_ = static_cast<qint64>(item_.FDataSize) + bytes;
    }

    Result fetch(const std::vector<ByteRange>& ranges, qint64 saves, const Sink& sink) override {
        std::deque<ByteRange> left(ranges.begin(), ranges.end());
        while (!left.empty()) {
            const bool several = several_ && left.size() > 1;
            if (!several && !worthSingly(left.size(), saves)) {
                return Result::Changed;  // ranges are not served well enough to pay
            }
            const auto count = static_cast<std::ptrdiff_t>(
                several ? std::min(left.size(), kMaxRangesPerRequest) : 1);
            const std::vector<ByteRange> batch(left.begin(), left.begin() + count);
            left.erase(left.begin(), left.begin() + count);
            const Answer answer = request(batch, sink);
            if (answer.result != Result::Done) {
                return answer.result;
            }
            if (!answer.missing.empty() && !several) {
                return Result::Failed;
            }
            several_ = several_ && answer.missing.empty();
            left.insert(left.begin(), answer.missing.begin(), answer.missing.end());
        }
        return Result::Done;
    }

private:
    struct Answer {
        Result result = Result::Done;  // Done: whatever came is in, `missing` says the rest
        std::vector<ByteRange> missing;
    };

    // One request and whatever its answer holds within the rules.
    Answer request(const std::vector<ByteRange>& batch, const Sink& sink) {
        HttpRequest request = request_;
        request.range = rangesValue(batch);
        RangeAnswer answer(batch, fileSize_);
        std::optional<MultipartRanges> parts;
        Result result = Result::Done;
        const auto onHead = [&](const HttpReplyHead& head) {
            // The unchanged file whole, to several ranges: they are refused, not the file.
            if (head.status == 200 && (batch.size() == 1 || validatorOf(head) != validator_)) {
                result = Result::Changed;
                return false;
            }
            if (head.status != 206) {
                return false;
            }
            if (const std::optional<QByteArray> boundary = byteRangesBoundary(head.contentType)) {
                parts.emplace(*boundary);
                return true;
            }
            const std::optional<ContentRange> range = parseContentRange(head.contentRange);
            return range && answer.beginPart(*range);
        };
        const auto onData = [&](const char* data, std::size_t size) {
            item_.notifyBody(item_.countPiece(size));
            if (item_.Terminated) {
                return false;
            }
            return parts ? parts->feed(data, size, answer, sink) : answer.take(data, size, sink);
        };
        session_.perform(request, onHead, onData);
        if (item_.Terminated) {
            return {Result::Stopped, {}};
        }
        return {result, answer.missing()};
    }

    // Whether fetching the rest one range a request still saves a tenth of the file.
    bool worthSingly(std::size_t requests, qint64 saves) const {
        return saves - static_cast<qint64>(requests) * kRequestCost >= fileSize_ / 10;
    }

    DownloadItem& item_;
    HttpTransfer& session_;
    HttpRequest request_;
    qint64 fileSize_;
    QByteArray validator_;
    bool several_ = true;
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
