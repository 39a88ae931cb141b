#include "ProxySetting.h"

#include "profile/IniFile.h"

#include <QUrl>

namespace selvanix {

std::variant<ProxySetting, QString> parseProxy(const QString& text) {
    const QString value = text.trimmed();
    if (value == u"env") {
        return ProxySetting{ProxySetting::Kind::Environment, {}};
    }
    const QUrl url(value, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty() ||
        (!url.path().isEmpty() && url.path() != u"/")) {
        return QStringLiteral(
                   "the proxy must be env or an http:// or https:// address with a "
                   "host, not %1")
            .arg(QUrl(value).toDisplayString(QUrl::RemoveUserInfo));
    }
    return ProxySetting{ProxySetting::Kind::Url, value};
}

std::optional<QString> readProxyText(const QString& settingsFile) {
    const QString value =
        TIniFile(settingsFile).ReadString(QStringLiteral("SERVER"), QStringLiteral("proxy"), {});
    if (value.trimmed().isEmpty()) {
        return std::nullopt;
    }
    return value.trimmed();
}

}  // namespace selvanix
