#include "ProxyAddress.h"

#include "UrlParts.h"

#include <QStringList>
#include <array>
#include <cstdlib>

namespace selvanix::net {

namespace {

QString environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? QString::fromLocal8Bit(value) : QString();
}

// As curl reads them: http_proxy only in lower case, the others in either.
QString environmentProxy(const QString& scheme) {
    static constexpr std::array<const char*, 4> kHttps{"https_proxy", "HTTPS_PROXY", "all_proxy",
                                                       "ALL_PROXY"};
    static constexpr std::array<const char*, 3> kHttp{"http_proxy", "all_proxy", "ALL_PROXY"};
    const bool https = scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const auto first = [](const auto& names) {
        for (const char* name : names) {
            const QString value = environment(name);
            if (!value.isEmpty()) {
                return value;
            }
        }
        return QString();
    };
    return https ? first(kHttps) : first(kHttp);
}

// curl passes the proxy by for a host that no_proxy lists: "*", the host itself, or a domain
// it lies in.
bool passedBy(const QString& host) {
    QString list = environment("no_proxy");
    if (list.isEmpty()) {
        list = environment("NO_PROXY");
    }
    for (QString entry : list.split(u',', Qt::SkipEmptyParts)) {
        entry = entry.trimmed();
        if (entry.startsWith(u'.')) {
            entry.remove(0, 1);
        }
        if (entry == u"*" || host.compare(entry, Qt::CaseInsensitive) == 0 ||
            host.endsWith(u'.' + entry, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

}  // namespace

QString proxyAddress(const QString& url, const QString& named, bool fromEnvironment) {
    const std::optional<UrlParts> target = crackUrl(url);
    if (!target || passedBy(target->host)) {
        return {};
    }
    const QString proxy =
        !named.isEmpty() ? named : (fromEnvironment ? environmentProxy(target->scheme) : QString());
    if (proxy.isEmpty()) {
        return {};
    }
    const std::optional<UrlParts> parts =
        crackUrl(proxy.contains(QLatin1String("://")) ? proxy : QStringLiteral("http://") + proxy);
    if (!parts || parts->host.isEmpty()) {
        return {};
    }
    // A proxy named without a port is reached on curl's default for proxies.
    const qsizetype scheme = proxy.indexOf(QLatin1String("://"));
    const QString hostPart =
        proxy.mid(scheme < 0 ? 0 : scheme + 3).section(u'@', -1).section(u'/', 0, 0);
    const bool portNamed = !hostPart.endsWith(u']') && hostPart.contains(u':');
    return parts->host + u':' + QString::number(portNamed ? parts->port : 1080);
}

int proxyPort(const QString& address) {
    return QStringView(address).mid(address.lastIndexOf(u':') + 1).toInt();
}

}  // namespace selvanix::net
