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
    if (const std::optional<QString> proxy = readProxyText(file)) {
        const auto parsed = parseProxy(*proxy);
        if (const ProxySetting* chosen = std::get_if<ProxySetting>(&parsed)) {
            settings.proxy = *chosen;
        } else {
            settings.proxyProblem = std::get<QString>(parsed);
        }
    }
    return settings;
}

void applyDownloadSettings(const InstallerSettings& settings, net::TInternetOptions& options) {
    options.LowSpeedLimit = settings.lowSpeed.bytesPerSecond;
    options.LowSpeedTimeSecs = settings.lowSpeed.seconds;
    options.ProxyUrl =
        settings.proxy.kind == ProxySetting::Kind::Url ? settings.proxy.url : QString();
    options.ProxyFromEnvironment = settings.proxy.kind == ProxySetting::Kind::Environment;
}

}  // namespace selvanix
