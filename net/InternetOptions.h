#pragma once

#include <QString>

namespace selvanix::net {

enum class SocksVersion { sv4, sv5 };

// The connection options of a download list, copied into every item before it runs.
struct TInternetOptions {
    QString UserAgent = QStringLiteral("Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)");
    bool UseDefaultOptions = false;
    int ConnectRetries = 2;
    int ConnectTimeout = 30;  // seconds
    int DataTimeout = 0;
    bool UseProxy = false;
    QString ProxyName;
    int ProxyPort = 0;
    bool UseProxyAuth = false;
    QString ProxyUserName;
    QString ProxyPassword;
    // An http or https proxy as one address, credentials in it ("http://u:p@host:3128");
    // when set it stands instead of ProxyName and ProxyPort.
    QString ProxyUrl;
    // The usual environment variables (http_proxy, https_proxy, no_proxy) choose the proxy.
    bool ProxyFromEnvironment = false;
    bool SocksProxy = false;
    SocksVersion Socks = SocksVersion::sv4;
    bool ModemConnection = false;
    bool AutoDial = false;
    bool AutoClose = false;
    QString DUN;
    bool UseIEDUNSettings = true;
    bool UseDefaultBrowser = true;
    bool ForceInternetCheck = false;
    int ServerThreads = 4;

    // A transfer that receives nothing for this long fails with a timeout, so a stalled
    // server never hangs the installer.
    int StallTimeoutMs = 60000;
    // A transfer that stays below this many bytes a second for this many seconds gives up,
    // so a server trickling a byte now and then cannot hold a download for ever. A slow but
    // real link (a weak mobile one does some KiB/s) stays far above it.
    int LowSpeedLimit = 256;
    int LowSpeedTimeSecs = 60;
    // Certificate authorities for https; empty uses the system's store.
    QString CaFile;
    // A body is kept in memory up to this size; beyond it, it continues in a file beside its
    // destination, so memory stays bounded whatever a server sends.
    qint64 BodyInMemoryLimit = 16 << 20;
    // A body of unknown length stops before it leaves less than this free on that disk.
    qint64 KeepFreeOnDisk = 64 << 20;
};

}  // namespace selvanix::net
