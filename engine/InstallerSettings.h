#pragma once

#include "config/LowSpeed.h"
#include "config/ProxySetting.h"
#include "config/SettingsFile.h"

#include <QString>
#include <QStringList>

namespace selvanix {

namespace net {
struct TInternetOptions;
}

// Everything the installer's settings hold, read once at start.
struct InstallerSettings {
    QString baseUrl;
    QString channel;         // as written; empty for stable
    QString channelProblem;  // a channel value that names no channel
    QString publicKey;
    LowSpeed lowSpeed{};
    StoredSettings stored;
    ProxySetting proxy;
    QString proxyProblem;  // a proxy value that is none: the connection stays direct
    // A publickey written in another spelling than its one: a configuration error, never
    // taken for "no key".
    QString keyProblem;
    // Revocations written in another spelling: honoured all the same, and said.
    QStringList keyWarnings;
};

// From the installer's folder, then the all-users settings of an installed copy; what both
// leave out keeps the built-in value.
InstallerSettings readInstallerSettings(const net::TInternetOptions& defaults);
// The keys revoked in the user's settings and in the all-users settings.
QStringList revokedKeys();
// The download options the settings set; a proxy given on the command line goes instead of
// the file's.
void applyDownloadSettings(const InstallerSettings& settings, net::TInternetOptions& options);

}  // namespace selvanix
