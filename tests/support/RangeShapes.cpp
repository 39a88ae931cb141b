#include "RangeShapes.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace selvanix::test {

namespace {

using Range = std::pair<qint64, qint64>;  // first and last byte

constexpr char kBoundary[] = "3d6b6a416f9b5";

// The ranges of "bytes=a-b,c-d,-n", cut to the file; nothing when the value is not that.
std::vector<Range> rangesOf(const QByteArray& value, qint64 size) {
    std::vector<Range> out;
    if (!value.startsWith("bytes=")) {
        return out;
    }
    for (const QByteArray& item : value.mid(6).split(',')) {
        const qsizetype dash = item.indexOf('-');
        if (dash < 0) {
            return {};
        }
        if (dash == 0) {
            const qint64 n = std::min(item.mid(1).toLongLong(), size);
            out.emplace_back(size - n, size - 1);
            continue;
        }
        const qint64 first = item.left(dash).toLongLong();
        const QByteArray last = item.mid(dash + 1);
        out.emplace_back(first, last.isEmpty() ? size - 1 : std::min(last.toLongLong(), size - 1));
    }
    return out;
}

QByteArray contentRange(Range r, qint64 size) {
    return "bytes " + QByteArray::number(r.first) + '-' + QByteArray::number(r.second) + '/' +
           QByteArray::number(size);
}

TestReply single(const ServedFile& file, Range r) {
    return httpReply(
        206, file.bytes.mid(r.first, r.second - r.first + 1),
        {"ETag: " + file.etag, "Content-Range: " + contentRange(r, file.bytes.size())});
}

QByteArray part(const ServedFile& file, Range r) {
    return QByteArray("\r\n--") + kBoundary +
           "\r\nContent-Type: application/zip\r\nContent-Range: " +
           contentRange(r, file.bytes.size()) + "\r\n\r\n" +
           file.bytes.mid(r.first, r.second - r.first + 1);
}

TestReply multipart(const ServedFile& file, const std::vector<Range>& parts,
                    const QByteArray& before = {}) {
    QByteArray body = before;
    for (const Range& r : parts) {
        body += part(file, r);
    }
    body += QByteArray("\r\n--") + kBoundary + "--\r\n";
    return httpReply(206, body,
                     {"ETag: " + file.etag,
                      QByteArray("Content-Type: multipart/byteranges; boundary=") + kBoundary});
}

// One-byte parts at odd offsets between and around the asked ranges, none of them asked.
QByteArray flood(const ServedFile& file, const std::vector<Range>& asked) {
    QByteArray body;
    const qint64 size = file.bytes.size();
    body.reserve(static_cast<qsizetype>(file.floodParts) * 64);
    int made = 0;
    for (qint64 at = 1; made < file.floodParts; at = (at + 2) % size | 1) {
        const bool inAsked = std::any_of(asked.begin(), asked.end(), [&](const Range& r) {
            return at >= r.first && at <= r.second;
        });
        if (!inAsked) {
            body += QByteArray("\r\n--") + kBoundary +
                    "\r\nContent-Range: " + contentRange({at, at}, size) + "\r\n\r\n" +
                    file.bytes.at(at);
            ++made;
        }
    }
    return body;
}

}  // namespace

const char* shapeName(RangeShape shape) {
    switch (shape) {
        case RangeShape::Multipart:
            return "multipart";
        case RangeShape::Refused:
            return "416";
        case RangeShape::Whole:
            return "200 whole";
        case RangeShape::FirstOnly:
            return "first part only";
        case RangeShape::Merged:
            return "parts merged";
        case RangeShape::Reordered:
            return "parts reordered";
        case RangeShape::Flood:
            return "flood of parts";
    }
    return "?";
}

TestReply rangeReply(const ServedFile& file, const QByteArray& head) {
    const qint64 size = file.bytes.size();
    const QByteArray ifRange = TestHttpServer::header(head, "If-Range");
    const std::vector<Range> asked = rangesOf(TestHttpServer::header(head, "Range"), size);
    const TestReply whole = httpReply(200, file.bytes, {"ETag: " + file.etag});
    if (asked.empty() || (!ifRange.isEmpty() && ifRange != file.etag)) {
        return whole;
    }
    if (asked.size() == 1) {
        return single(file, asked.front());
    }
    switch (file.shape) {
        case RangeShape::Multipart:
            return multipart(file, asked);
        case RangeShape::Refused:
            return httpReply(416, {}, {"Content-Range: bytes */" + QByteArray::number(size)});
        case RangeShape::Whole:
            return whole;
        case RangeShape::FirstOnly:
            return single(file, asked.front());
        case RangeShape::Merged:
            return single(file, {asked.front().first, asked.back().second});
        case RangeShape::Reordered:
            return multipart(file, {asked.rbegin(), asked.rend()});
        case RangeShape::Flood:
            return multipart(file, asked, flood(file, asked));
    }
    return whole;
}

}  // namespace selvanix::test
