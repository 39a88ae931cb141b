#pragma once

#include "config/LowSpeed.h"
#include "config/SettingsFile.h"

#include <QString>

namespace selvanix {

namespace net {
struct TInternetOptions;
}

// Everything the settings file beside the program holds, read once at start.
struct InstallerSettings {
    QString baseUrl;
    QString publicKey;
    LowSpeed lowSpeed{};
    StoredSettings stored;
};

// From the installer's folder; what is missing keeps the built-in value.
InstallerSettings readInstallerSettings(const net::TInternetOptions& defaults);
// The download options the settings set.
void applyDownloadSettings(const InstallerSettings& settings, net::TInternetOptions& options);

}  // namespace selvanix
