#include "RangeFetch.h"

#include <algorithm>
#include <deque>

namespace selvanix::net {

using Result = RangeSource::Result;

Result RangeFetch::fetch(const std::vector<ByteRange>& ranges, qint64 saves,
                         const Exchange& exchange) {
    std::deque<ByteRange> left(ranges.begin(), ranges.end());
    while (!left.empty()) {
        const bool several = several_ && left.size() > 1;
        if (!several && !worthSingly(left.size(), saves)) {
            return Result::Changed;  // ranges are not served well enough to pay
        }
        const auto count =
            static_cast<std::ptrdiff_t>(several ? std::min(left.size(), kMaxRangesPerRequest) : 1);
        const std::vector<ByteRange> asked(left.begin(), left.begin() + count);
        left.erase(left.begin(), left.begin() + count);
        const Answered answer = exchange(asked);
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

bool RangeFetch::worthSingly(std::size_t requests, qint64 saves) const {
    return saves - static_cast<qint64>(requests) * kRequestCost >= fileSize_ / 10;
}

}  // namespace selvanix::net
