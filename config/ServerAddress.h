#pragma once

#include <QString>

namespace selvanix {

// The download server's root: "baseurl" in section "SERVER" of the installer's settings
// file when present and not blank, otherwise the given default. Always ends in "/".
QString readBaseUrl(const QString& settingsFile, const QString& fallback);

}  // namespace selvanix
