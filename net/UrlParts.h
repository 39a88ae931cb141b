#pragma once

#include <QString>
#include <optional>

namespace selvanix::net {

// An address split the way the transfer needs it.
struct UrlParts {
    QString scheme;  // empty for a plain path
    QString host;
    int port = 0;  // the scheme's default when the address names none
    QString userName;
    QString password;
    QString path;   // from the first "/" after the host up to "?" or "#"
    QString extra;  // the query and fragment, with their leading "?" or "#"

    // What the request asks for: the path and query, without the fragment.
    QString objectName() const;
};

// Splits an address; nothing when a part is longer than the client accepts (scheme 20,
// host 100, user name and password 32, path and extra part 400 characters) or the port is
// not a number.
std::optional<UrlParts> crackUrl(const QString& url);

// A local address: no scheme, scheme "file", or the host localhost or 127.0.0.1.
bool isLocalUrl(const QString& url);

// The part after the last "/", "\" or ":".
QString urlFileName(const QString& url);

}  // namespace selvanix::net
