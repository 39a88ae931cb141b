#include "DeltaPlan.h"

#include <QHash>
#include <algorithm>
#include <numeric>

namespace selvanix {

namespace {

using Kind = DeltaSegment::Kind;

// Room for the end records and a comment; an archive with a longer one is fetched whole.
constexpr qint64 kTailSlack = 4096;

// Segments as they come, cut at the end of what must be obtained.
class SegmentList {
public:
    explicit SegmentList(qint64 end) : end_(end) {}

    void add(DeltaSegment s) {
        if (s.at >= end_ || s.length <= 0) {
            return;
        }
        if (s.at + s.length > end_) {
            s.length = end_ - s.at;
            s.bytes.truncate(s.length);
        }
        segments_.push_back(std::move(s));
    }
    void fetch(qint64 at, qint64 end) { add({Kind::Fetch, at, end - at, 0, {}}); }

    // Short reused runs between fetched ones become fetched; neighbours of a kind join.
    std::vector<DeltaSegment> merged(qint64 mergeGap) && {
        std::vector<DeltaSegment>& s = segments_;
        for (std::size_t i = 0; i < s.size();) {
            if (s[i].kind == Kind::Fetch) {
                ++i;
                continue;
            }
            std::size_t j = i;
            qint64 run = 0;
            while (j < s.size() && s[j].kind != Kind::Fetch) {
                run += s[j++].length;
            }
            if (i > 0 && j < s.size() && run < mergeGap) {
                for (std::size_t k = i; k < j; ++k) {
                    s[k] = {Kind::Fetch, s[k].at, s[k].length, 0, {}};
                }
            }
            i = j;
        }
        std::vector<DeltaSegment> out;
        for (DeltaSegment& each : s) {
            if (!out.empty() && out.back().kind == Kind::Fetch && each.kind == Kind::Fetch &&
                out.back().at + out.back().length == each.at) {
                out.back().length += each.length;
            } else {
                out.push_back(std::move(each));
            }
        }
        return out;
    }

private:
    qint64 end_;
    std::vector<DeltaSegment> segments_;
};

// Entries in the order of their bytes, each with the offset where the next one starts.
std::vector<std::pair<std::size_t, qint64>> spans(const ZipDirectory& dir) {
    std::vector<std::size_t> order(dir.entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return dir.entries[a].localOffset < dir.entries[b].localOffset;
    });
    std::vector<std::pair<std::size_t, qint64>> out;
    out.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::uint64_t end =
            i + 1 < order.size() ? dir.entries[order[i + 1]].localOffset : dir.offset;
        out.emplace_back(order[i], static_cast<qint64>(end));
    }
    return out;
}

}  // namespace

qint64 deltaTailLength(const ZipLayout& kept) {
    const qint64 end = kept.size - static_cast<qint64>(kept.directory.offset);
    return end + end / 4 + kTailSlack;
}

qint64 matchedBytes(const ZipDirectory& next, const std::vector<int>& matches) {
    qint64 matched = 0;
    for (std::size_t i = 0; i < matches.size(); ++i) {
        matched += matches[i] >= 0 ? static_cast<qint64>(next.entries[i].compressedSize) : 0;
    }
    return matched;
}

bool worthAssembling(const ZipDirectory& next, const std::vector<int>& matches, qint64 size) {
    return matchedBytes(next, matches) * 10 >= size;
}

std::vector<int> matchEntries(const ZipLayout& kept, const ZipDirectory& next) {
    QHash<QByteArray, int> byName;
    byName.reserve(static_cast<qsizetype>(kept.directory.entries.size()));
    for (std::size_t i = kept.directory.entries.size(); i-- > 0;) {
        byName.insert(kept.directory.entries[i].name, static_cast<int>(i));
    }
    std::vector<int> matches;
    matches.reserve(next.entries.size());
    for (const ZipRecord& r : next.entries) {
        const auto found = byName.constFind(r.name);
        const bool same = found != byName.constEnd() &&
                          kept.directory.entries[static_cast<std::size_t>(*found)].sameContent(r);
        matches.push_back(same ? *found : -1);
    }
    return matches;
}

std::vector<ByteSpan> headerProbes(const ZipLayout& kept, const ZipDirectory& next,
                                   const std::vector<int>& matches, qint64 tailFrom) {
    std::vector<ByteSpan> probes;
    for (const auto& [index, end] : spans(next)) {
        const int k = matches[index];
        if (k < 0) {
            continue;
        }
        const ZipRecord& kr = kept.directory.entries[static_cast<std::size_t>(k)];
        const auto at = static_cast<qint64>(next.entries[index].localOffset);
        const auto keptLength =
            static_cast<qint64>(kept.dataOffsets[static_cast<std::size_t>(k)] - kr.localOffset);
        const qint64 length = std::min({keptLength, end - at, tailFrom - at});
        if (length > 0) {
            probes.push_back({at, length});
        }
    }
    return probes;
}

DeltaPlan planDelta(const ZipLayout& kept, const ZipDirectory& next,
                    const std::vector<int>& matches, qint64 tailFrom,
                    const std::function<std::optional<qint64>(std::size_t entry)>& headerLength,
                    qint64 mergeGap) {
    const bool derived = next.headersFollowDirectory();
    SegmentList list(tailFrom);
    qint64 cursor = 0;
    for (const auto& [index, end] : spans(next)) {
        const ZipRecord& r = next.entries[index];
        const auto start = static_cast<qint64>(r.localOffset);
        if (start > cursor) {
            list.fetch(cursor, start);
        }
        const int k = matches[index];
        std::optional<qint64> header;
        if (k >= 0 && start >= cursor) {
            header = derived ? std::optional<qint64>(30 + r.name.size()) : headerLength(index);
        }
        const auto size = static_cast<qint64>(r.compressedSize);
        if (header && start + *header + size <= end) {
            if (derived) {
                list.add({Kind::Write, start, *header, 0, r.derivedLocalHeader()});
            } else {
                list.fetch(start, start + *header);
            }
            const auto from = static_cast<qint64>(kept.dataOffsets[static_cast<std::size_t>(k)]);
            list.add({Kind::Copy, start + *header, size, from, {}});
            list.fetch(start + *header + size, end);
        } else {
            list.fetch(std::max(start, cursor), end);
        }
        cursor = std::max(cursor, end);
    }
    list.fetch(cursor, tailFrom);
    DeltaPlan plan;
    plan.segments = std::move(list).merged(mergeGap);
    for (const DeltaSegment& s : plan.segments) {
        (s.kind == Kind::Fetch ? plan.fetched : plan.reused) += s.length;
    }
    return plan;
}

}  // namespace selvanix
