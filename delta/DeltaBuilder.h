#pragma once

#include <QByteArray>
#include <cstdint>
#include <map>
#include <optional>

namespace selvanix {

namespace platform {
class File;
}

// A delta from an older archive to a new one, as the publisher makes it: every entry whose
// compressed bytes differ from the old entry of its name, as the smallest patch of its
// contents, or whole when no patch is smaller (or it has no old entry, or is too large).
struct BuiltDelta {
    QByteArray bytes;                            // the delta file
    std::map<std::uint64_t, QByteArray> hashes;  // per carried entry (its local header in the
                                                 // new archive): SHA-256 of its compressed bytes
    int patched = 0;
    int whole = 0;
    int unchanged = 0;
};

// Nothing when either archive cannot be read as stored.
std::optional<BuiltDelta> buildDelta(const platform::File& previous, const platform::File& next);

}  // namespace selvanix
