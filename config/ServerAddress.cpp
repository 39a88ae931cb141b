#include "ServerAddress.h"

#include "profile/IniFile.h"

namespace selvanix {

QString readBaseUrl(const QString& settingsFile, const QString& fallback) {
    QString url = TIniFile(settingsFile)
                      .ReadString(QStringLiteral("SERVER"), QStringLiteral("baseurl"), QString())
                      .trimmed();
    if (url.isEmpty()) {
        url = fallback;
    }
    if (!url.endsWith(u'/')) {
        url += u'/';
    }
    return url;
}

}  // namespace selvanix
