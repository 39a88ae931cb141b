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
#include "RangeFetch.h"
#include "RangeReply.h"
#include "Tick.h"

namespace selvanix::net {

// The item's ranges over its one connection: each request carries If-Range, so a file
// replaced on the server answers with the whole new file (a 200), which is never mixed into
// the assembly.
class ItemRanges final : public RangeSource {
public:
    ItemRanges(DownloadItem& item, HttpTransfer& session, HttpRequest request, qint64 fileSize,
               QByteArray validator)
        : item_(item),
          session_(session),
          request_(std::move(request)),
          fileSize_(fileSize),
          validator_(std::move(validator)),
          order_(fileSize) {
        request_.headers += "\r\nIf-Range: " + validator_;
    }

    void expect(qint64 bytes) override {
        item_.announced_ = static_cast<qint64>(item_.FDataSize) + bytes;
    }

    Result fetch(const std::vector<ByteRange>& ranges, qint64 saves, const Sink& sink) override {
        return order_.fetch(ranges, saves, [&](const std::vector<ByteRange>& asked) {
            return request(asked, sink);
        });
    }

private:
    RangeFetch::Answered request(const std::vector<ByteRange>& asked, const Sink& sink) {
        HttpRequest request = request_;
        request.range = rangesValue(asked);
        RangeReply reply(asked, fileSize_, validator_);
        session_.perform(
            request, [&](const HttpReplyHead& head) { return reply.head(head); },
            [&](const char* data, std::size_t size) {
                item_.notifyBody(item_.countPiece(size));
                return !item_.Terminated && reply.body(data, size, sink);
            });
        if (item_.Terminated) {
            return {Result::Stopped, {}};
        }
        return {reply.result(), reply.missing()};
    }

    DownloadItem& item_;
    HttpTransfer& session_;
    HttpRequest request_;
    qint64 fileSize_;
    QByteArray validator_;
    RangeFetch order_;
};

bool DownloadItem::assembled(HttpTransfer& session, const HttpRequest& plain, int& code) {
    if (!request_.assembly || request_.verb != IV_GET || request_.rangeStart != 0 ||
        request_.rangeEnd != 0 || request_.checkOnly || !request_.acceptTypes.trimmed().isEmpty()) {
        return false;
    }
    const qint64 wanted = request_.assembly->tailLength();
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
                (request_.sizeLimit > 0 &&
                 static_cast<quint64>(range->complete) > request_.sizeLimit)) {
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
    return assembleFrom(session, plain, remote, tailHead, code);
}

// The body built from the kept file and ranges of the remote one, taken as the whole file's
// reply; false to fetch it whole after all.
bool DownloadItem::assembleFrom(HttpTransfer& session, const HttpRequest& plain,
                                const RemoteFile& remote, const HttpReplyHead& tailHead,
                                int& code) {
    ItemRanges ranges(*this, session, plain, remote.size, remote.validator);
    BodyAssembly::Outcome outcome = request_.assembly->assemble(remote, ranges);
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
    FActualURL = request_.url;
    FActualType = QString::fromLatin1(tailHead.contentType).trimmed();
    FLastModified = parseHttpDate(tailHead.lastModified);
    Cookies = tailHead.cookies;
    code = 0;
    return true;
}

}  // namespace selvanix::net
