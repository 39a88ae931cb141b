#include "UrlParts.h"

namespace selvanix::net {

namespace {

constexpr qsizetype kMaxScheme = 20;
constexpr qsizetype kMaxHost = 100;
constexpr qsizetype kMaxUser = 32;
constexpr qsizetype kMaxPath = 400;

int defaultPort(const QString& scheme) {
    if (scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
        return 443;
    }
    if (scheme.compare(QLatin1String("ftp"), Qt::CaseInsensitive) == 0) {
        return 21;
    }
    return 80;
}

}  // namespace

QString UrlParts::objectName() const {
    const QString object = path + extra;
    const qsizetype hash = object.indexOf(u'#');
    return hash < 0 ? object : object.left(hash);
}

std::optional<UrlParts> crackUrl(const QString& url) {
    UrlParts parts;
    QString rest = url;
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    if (schemeEnd >= 0) {
        parts.scheme = url.left(schemeEnd);
        rest = url.mid(schemeEnd + 3);
        qsizetype authorityEnd = rest.size();
        for (const QChar c : {u'/', u'?', u'#'}) {
            const qsizetype at = rest.indexOf(c);
            if (at >= 0 && at < authorityEnd) {
                authorityEnd = at;
            }
        }
        QString authority = rest.left(authorityEnd);
        rest = rest.mid(authorityEnd);
        const qsizetype at = authority.lastIndexOf(u'@');
        if (at >= 0) {
            const QString user = authority.left(at);
            const qsizetype colon = user.indexOf(u':');
            parts.userName = colon < 0 ? user : user.left(colon);
            parts.password = colon < 0 ? QString() : user.mid(colon + 1);
            authority = authority.mid(at + 1);
        }
        parts.port = defaultPort(parts.scheme);
        const qsizetype colon = authority.lastIndexOf(u':');
        if (colon >= 0 && !authority.endsWith(u']')) {
            bool ok = false;
            const int port = authority.mid(colon + 1).toInt(&ok);
            if (!ok || port <= 0 || port > 65535) {
                return std::nullopt;
            }
            parts.port = port;
            authority = authority.left(colon);
        }
        parts.host = authority;
    }
    qsizetype extraStart = rest.size();
    for (const QChar c : {u'?', u'#'}) {
        const qsizetype at = rest.indexOf(c);
        if (at >= 0 && at < extraStart) {
            extraStart = at;
        }
    }
    parts.path = rest.left(extraStart);
    parts.extra = rest.mid(extraStart);
    if (parts.scheme.size() > kMaxScheme || parts.host.size() > kMaxHost ||
        parts.userName.size() > kMaxUser || parts.password.size() > kMaxUser ||
        parts.path.size() > kMaxPath || parts.extra.size() > kMaxPath) {
        return std::nullopt;
    }
    return parts;
}

bool isLocalUrl(const QString& url) {
    const std::optional<UrlParts> parts = crackUrl(url);
    if (!parts || parts->scheme.isEmpty() ||
        parts->scheme.compare(QLatin1String("file"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    return parts->host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           parts->host == QLatin1String("127.0.0.1");
}

QString urlFileName(const QString& url) {
    const qsizetype cut =
        std::max({url.lastIndexOf(u'/'), url.lastIndexOf(u'\\'), url.lastIndexOf(u':')});
    return url.mid(cut + 1);
}

}  // namespace selvanix::net
