#pragma once

#include <QString>
#include <optional>
#include <variant>

namespace selvanix {

// How downloads reach the server: directly (the default), through one named proxy, or as
// the environment's proxy variables say.
struct ProxySetting {
    enum class Kind { Direct, Url, Environment };
    Kind kind = Kind::Direct;
    QString url;  // for Url: http:// or https://, with a host
};

// "env", or an http or https address with a host; an error text for anything else.
std::variant<ProxySetting, QString> parseProxy(const QString& text);

// "proxy" in section "SERVER" of the settings file; nothing when the key is missing or blank.
std::optional<QString> readProxyText(const QString& settingsFile);

}  // namespace selvanix
