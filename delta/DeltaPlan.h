#pragma once

#include "archive/ZipDirectory.h"

#include <QByteArray>
#include <functional>
#include <optional>
#include <vector>

namespace selvanix {

// How each byte of a new archive before its fetched tail is obtained: fetched from the
// server, copied from the kept archive, or written as made here (a derived local header).
struct DeltaSegment {
    enum class Kind { Fetch, Copy, Write };
    Kind kind = Kind::Fetch;
    qint64 at = 0;  // offset in the new archive
    qint64 length = 0;
    qint64 from = 0;   // Copy: offset in the kept archive
    QByteArray bytes;  // Write
};

struct DeltaPlan {
    std::vector<DeltaSegment> segments;  // ascending, together covering [0, tailFrom)
    qint64 fetched = 0;                  // bytes of the Fetch segments
    qint64 reused = 0;                   // bytes of the Copy and Write segments
};

// Per entry of the new directory, the kept entry with the same content, or -1.
std::vector<int> matchEntries(const ZipLayout& kept, const ZipDirectory& next);

// Where the local headers of matched entries lie, for an archive whose headers must be
// fetched: each one as long as the kept entry's header, within the entry's span.
struct ByteSpan {
    qint64 at = 0;
    qint64 length = 0;
};
std::vector<ByteSpan> headerProbes(const ZipLayout& kept, const ZipDirectory& next,
                                   const std::vector<int>& matches, qint64 tailFrom);

// The plan for the bytes [0, tailFrom) of the new archive. For an archive whose headers are
// not derived, headerLength tells the length of a matched entry's fetched local header when it
// agrees with its record; an entry without one is fetched whole. Runs of reused bytes shorter than
// mergeGap between two fetched ranges are fetched too, as one range costs more than that.
DeltaPlan planDelta(const ZipLayout& kept, const ZipDirectory& next,
                    const std::vector<int>& matches, qint64 tailFrom,
                    const std::function<std::optional<qint64>(std::size_t entry)>& headerLength,
                    qint64 mergeGap);

// The measured gap below which two ranges are fetched as one.
inline constexpr qint64 kDeltaMergeGap = 4096;

// How many of the new archive's last bytes are fetched first: the kept directory grown by a
// quarter, and room for the end records with a short comment.
qint64 deltaTailLength(const ZipLayout& kept);

// The compressed bytes of the matched entries: what an assembly may take from the kept copy.
qint64 matchedBytes(const ZipDirectory& next, const std::vector<int>& matches);

// Whether the matched entries make ranges worth their cost: at least a tenth of the new
// archive's bytes. Below that, one plain download is cheaper.
bool worthAssembling(const ZipDirectory& next, const std::vector<int>& matches, qint64 size);

}  // namespace selvanix
