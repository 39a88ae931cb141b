#pragma once

#include <QString>

namespace selvanix {

// When a download gives up for being too slow: "lowspeedlimit" (bytes a second) and
// "lowspeedtime" (seconds) in section "SERVER" of the installer's settings file override the
// defaults given; a value that is no positive number leaves its default.
struct LowSpeed {
    int bytesPerSecond;
    int seconds;
};
LowSpeed readLowSpeed(const QString& settingsFile, LowSpeed defaults);

}  // namespace selvanix
