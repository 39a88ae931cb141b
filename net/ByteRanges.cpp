#include "ByteRanges.h"

#include "RangeAnswer.h"

#include <QList>
#include <algorithm>

namespace selvanix::net {

namespace {

// Part headers and the delimiters around them never take more than this.
constexpr qsizetype kMaxPartHead = 16384;

}  // namespace

std::optional<ContentRange> parseContentRange(const QByteArray& header) {
    QByteArray value = header.trimmed();
    if (!value.startsWith("bytes")) {
        return std::nullopt;
    }
    value = value.mid(5).trimmed();
    const qsizetype dash = value.indexOf('-');
    const qsizetype slash = value.indexOf('/');
    if (dash <= 0 || slash <= dash) {
        return std::nullopt;
    }
    ContentRange range;
    bool ok1 = false;
    bool ok2 = false;
    range.first = value.left(dash).trimmed().toLongLong(&ok1);
    range.last = value.mid(dash + 1, slash - dash - 1).trimmed().toLongLong(&ok2);
    const QByteArray complete = value.mid(slash + 1).trimmed();
    bool ok3 = complete == "*";
    if (!ok3) {
        range.complete = complete.toLongLong(&ok3);
    }
    if (!ok1 || !ok2 || !ok3 || range.first < 0 || range.last < range.first) {
        return std::nullopt;
    }
    return range;
}

QByteArray rangesValue(const std::vector<ByteRange>& ranges) {
    QByteArray value = "bytes=";
    for (const ByteRange& r : ranges) {
        if (value.size() > 6) {
            value += ',';
        }
        value += QByteArray::number(r.at) + '-' + QByteArray::number(r.at + r.length - 1);
    }
    return value;
}

std::optional<QByteArray> byteRangesBoundary(const QByteArray& contentType) {
    const QList<QByteArray> parts = contentType.split(';');
    if (parts.isEmpty() ||
        parts.first().trimmed().compare("multipart/byteranges", Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    for (const QByteArray& part : parts.mid(1)) {
        const QByteArray p = part.trimmed();
        if (p.left(9).compare("boundary=", Qt::CaseInsensitive) == 0) {
            QByteArray boundary = p.mid(9);
            if (boundary.size() >= 2 && boundary.startsWith('"') && boundary.endsWith('"')) {
                boundary = boundary.mid(1, boundary.size() - 2);
            }
            if (!boundary.isEmpty() && boundary.size() <= 70) {
                return boundary;
            }
        }
    }
    return std::nullopt;
}

MultipartRanges::MultipartRanges(QByteArray boundary) : delimiter_("--" + boundary) {}

bool MultipartRanges::feed(const char* data, std::size_t size, RangeAnswer& answer,
                           const Sink& sink) {
    auto left = static_cast<qint64>(size);
    while (left > 0) {
        if (state_ == State::End) {
            // The epilogue means nothing, and an endless one is no answer.
            epilogue_ += left;
            return epilogue_ <= kMaxPartHead;
        }
        if (state_ == State::Body) {
            const qint64 n = std::min(left, answer.partLeft());
            if (!answer.take(data, static_cast<std::size_t>(n), sink)) {
                return false;
            }
            data += n;
            left -= n;
            if (answer.partLeft() == 0) {
                state_ = State::Head;
            }
            continue;
        }
        // A head: taken byte by byte up to its blank line, or the closing delimiter.
        head_.append(*data++);
        --left;
        if (head_.size() > kMaxPartHead) {
            return false;
        }
        if (head_.endsWith("\r\n\r\n") || head_.endsWith(delimiter_ + "--")) {
            if (!readHead(answer)) {
                return false;
            }
        }
    }
    return true;
}

bool MultipartRanges::readHead(RangeAnswer& answer) {
    const qsizetype at = head_.indexOf(delimiter_);
    // Before the delimiter only line ends (or, before the first, a preamble) may stand.
    if (at < 0) {
        return false;
    }
    const QByteArray after = head_.mid(at + delimiter_.size());
    if (after.startsWith("--")) {
        state_ = State::End;
        head_.clear();
        return true;
    }
    std::optional<ContentRange> range;
    for (const QByteArray& line : after.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 &&
            line.left(colon).trimmed().compare("Content-Range", Qt::CaseInsensitive) == 0) {
            range = parseContentRange(line.mid(colon + 1));
        }
    }
    head_.clear();
    if (!range || !answer.beginPart(*range)) {
        return false;
    }
    state_ = State::Body;
    return true;
}

}  // namespace selvanix::net
