#include "RangeAnswer.h"

#include <algorithm>

namespace selvanix::net {

namespace {

qint64 endOf(const ByteRange& r) {
    return r.at + r.length;
}

}  // namespace

RangeAnswer::RangeAnswer(std::vector<ByteRange> asked, qint64 fileSize)
    : asked_(std::move(asked)), fileSize_(fileSize) {}

bool RangeAnswer::beginPart(const ContentRange& range) {
    if (asked_.empty() || partLeft() > 0 || parts_.size() >= asked_.size() ||
        range.complete != fileSize_ || range.last >= fileSize_) {
        return false;
    }
    const qint64 first = range.first;
    const qint64 end = range.last + 1;
    if (first < asked_.front().at || end > endOf(asked_.back())) {
        return false;
    }
    const bool touches = std::any_of(asked_.begin(), asked_.end(), [&](const ByteRange& r) {
        return r.at < end && first < endOf(r);
    });
    const bool overlaps = std::any_of(parts_.begin(), parts_.end(), [&](const Part& p) {
        return p.first < end && first < p.end;
    });
    if (!touches || overlaps) {
        return false;
    }
    parts_.push_back({first, end, first});
    return true;
}

qint64 RangeAnswer::partLeft() const {
    return parts_.empty() ? 0 : parts_.back().end - parts_.back().at;
}

bool RangeAnswer::take(const char* data, std::size_t size, const Sink& sink) {
    const auto n = static_cast<qint64>(size);
    if (n > partLeft()) {
        return false;
    }
    Part& part = parts_.back();
    const qint64 from = part.at;
    const qint64 to = from + n;
    // The first asked range that ends after `from`; the rest follow in order.
    auto r = std::upper_bound(asked_.begin(), asked_.end(), from,
                              [](qint64 at, const ByteRange& each) { return at < endOf(each); });
    for (; r != asked_.end() && r->at < to; ++r) {
        const qint64 a = std::max(from, r->at);
        const qint64 b = std::min(to, endOf(*r));
        if (!sink(a, data + (a - from), static_cast<std::size_t>(b - a))) {
            return false;
        }
    }
    part.at = to;
    return true;
}

std::vector<ByteRange> RangeAnswer::missing() const {
    std::vector<std::pair<qint64, qint64>> delivered;
    for (const Part& p : parts_) {
        if (p.at > p.first) {
            delivered.emplace_back(p.first, p.at);
        }
    }
    std::sort(delivered.begin(), delivered.end());
    std::vector<ByteRange> out;
    for (const ByteRange& r : asked_) {
        qint64 at = r.at;
        for (const auto& [first, end] : delivered) {
            if (end <= at || first >= endOf(r)) {
                continue;
            }
            if (first > at) {
                out.push_back({at, first - at});
            }
            at = std::max(at, end);
        }
        if (at < endOf(r)) {
            out.push_back({at, endOf(r) - at});
        }
    }
    return out;
}

}  // namespace selvanix::net
