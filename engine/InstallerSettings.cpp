#include "InstallerSettings.h"

#include "FailureDetail.h"
#include "config/PackageSignature.h"
#include "config/PublisherKey.h"
#include "config/ServerAddress.h"
#include "net/InternetOptions.h"
#include "platform/FileOps.h"
#include "profile/IniFile.h"

namespace selvanix {

QStringList revokedKeys() {
    QStringList revoked =
        readRevokedKeys(platform::installerFolder() + QString::fromUtf16(kSettingsFileName));
    const QString system = platform::systemSettingsFile();
    if (!system.isEmpty()) {
        revoked << readRevokedKeys(system);
    }
    return revoked;
}

namespace {

QString readChannel(const QString& file, const QString& fallback) {
    const QString value =
        TIniFile(file).ReadString(QStringLiteral("SERVER"), QStringLiteral("channel"), QString());
    return value.trimmed().isEmpty() ? fallback : value.trimmed();
}

QString keyText(const QString& file, const char* key) {
    return TIniFile(file).ReadString(QStringLiteral("SERVER"), QString::fromLatin1(key), QString());
}

void checkKeySpellings(const QString& own, const QString& system, InstallerSettings& settings) {
    for (const QString& file : {own, system}) {
        if (file.isEmpty()) {
            continue;
        }
        if (const QStringList odd = misspelledKeys(keyText(file, "publickey")); !odd.isEmpty()) {
            settings.keyProblem =
                QStringLiteral(
                    "publickey in %1 is not written as padded base64: %2 (write it as %3)")
                    .arg(file, odd.first(), *canonicalKey(odd.first()));
        }
        for (const QString& word : misspelledKeys(keyText(file, "revokedkeys"))) {
            settings.keyWarnings << QStringLiteral(
                                        "warning: revokedkeys in %1 names %2, not written as "
                                        "padded base64; it is revoked all the same as %3")
                                        .arg(file, word, *canonicalKey(word));
        }
    }
}

}  // namespace

// The user's own file names the server settings first; what it leaves out comes from the
// administrator's file, then from what is built in. Revocations count from both.
InstallerSettings readInstallerSettings(const net::TInternetOptions& defaults) {
    const QString own = platform::installerFolder() + QString::fromUtf16(kSettingsFileName);
    const QString system = platform::systemSettingsFile();
    const auto layered = [&](auto read, auto builtIn) {
        return read(own, system.isEmpty() ? builtIn : read(system, builtIn));
    };
    InstallerSettings settings;
    settings.baseUrl = layered(readBaseUrl, QStringLiteral(SELVANIX_BASE_URL));
    settings.publicKey = layered(readPublisherKey, QStringLiteral(SELVANIX_PUBLIC_KEY));
    settings.channel = layered(readChannel, QString());
    if (!settings.channel.isEmpty() && !isChannelName(settings.channel)) {
        settings.channelProblem = badChannel(settings.channel);
    }
    if (!system.isEmpty()) {
        settings.publicKey = withoutRevoked(settings.publicKey, readRevokedKeys(system));
    }
    checkKeySpellings(own, system, settings);
    settings.lowSpeed =
        layered(readLowSpeed, LowSpeed{defaults.LowSpeedLimit, defaults.LowSpeedTimeSecs});
    settings.stored = readSettings(own);
    std::optional<QString> proxy = readProxyText(own);
    if (!proxy && !system.isEmpty()) {
        proxy = readProxyText(system);
    }
    if (proxy) {
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
