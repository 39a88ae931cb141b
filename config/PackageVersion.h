#pragma once

#include <QString>

namespace selvanix {

// How two versions as descriptors write them compare: numeric parts separated by a comma or
// a dot ("14,20", "9,00", "0.1"), part by part as numbers, a missing part counting as 0, so
// "14,20" is newer than "9,00" and "14,2" older than "14,20". A version with anything else
// in it, or empty, cannot be compared.
enum class VersionOrder { Older, Same, Newer, Incomparable };
// How version a stands to version b.
VersionOrder compareVersions(const QString& a, const QString& b);

}  // namespace selvanix
