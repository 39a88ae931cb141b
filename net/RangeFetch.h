#pragma once

#include <functional>
#include <vector>

#include "BodyAssembly.h"

namespace selvanix::net {

// The order of requests for a set of ranges: up to 32 in one request while the server answers
// them all; after a refusal or an answer short of some, the rest one range a request, while
// what the assembly saves, less what the requests cost, is still a tenth of the file.
class RangeFetch {
public:
    // What came of one request: Done with what it did not deliver, or why to stop.
    struct Answered {
        RangeSource::Result result = RangeSource::Result::Done;
        std::vector<ByteRange> missing;
    };
    using Exchange = std::function<Answered(const std::vector<ByteRange>& asked)>;

    static constexpr std::size_t kMaxRangesPerRequest = 32;  // what zchunk and zsync keep to
    static constexpr qint64 kRequestCost = 1024;             // a request and its answer's head

    explicit RangeFetch(qint64 fileSize) : fileSize_(fileSize) {}

    // ranges ascending and disjoint; saves as RangeSource::fetch has it.
    RangeSource::Result fetch(const std::vector<ByteRange>& ranges, qint64 saves,
                              const Exchange& exchange);

private:
    bool worthSingly(std::size_t requests, qint64 saves) const;

    qint64 fileSize_;
    bool several_ = true;
};

}  // namespace selvanix::net
