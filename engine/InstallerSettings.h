#pragma once

#include "config/LowSpeed.h"
#include "config/ProxySetting.h"
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
    ProxySetting proxy;
    QString proxyProblem;  // a proxy value that is none: the connection stays direct
};

// From the installer's folder; what is missing keeps the built-in value.
InstallerSettings readInstallerSettings(const net::TInternetOptions& defaults);
// The download options the settings set; a proxy given on the command line goes instead of
// the file's.
void applyDownloadSettings(const InstallerSettings& settings, net::TInternetOptions& options);

}  // namespace selvanix
