#include "InstallerSettings.h"

#include "config/PublisherKey.h"
#include "config/ServerAddress.h"
#include "net/InternetOptions.h"
#include "platform/FileOps.h"

namespace selvanix {

InstallerSettings readInstallerSettings(const net::TInternetOptions& defaults) {
    const QString file = platform::installerFolder() + QString::fromUtf16(kSettingsFileName);
    InstallerSettings settings;
    settings.baseUrl = readBaseUrl(file, QStringLiteral(SELVANIX_BASE_URL));
    settings.publicKey = readPublisherKey(file, QStringLiteral(SELVANIX_PUBLIC_KEY));
    settings.lowSpeed = readLowSpeed(file, {defaults.LowSpeedLimit, defaults.LowSpeedTimeSecs});
    settings.stored = readSettings(file);
    return settings;
}

void applyDownloadSettings(const InstallerSettings& settings, net::TInternetOptions& options) {
    options.LowSpeedLimit = settings.lowSpeed.bytesPerSecond;
    options.LowSpeedTimeSecs = settings.lowSpeed.seconds;
}

}  // namespace selvanix
