#include "PublisherKey.h"

#include "profile/IniFile.h"

namespace selvanix {

QString readPublisherKey(const QString& settingsFile, const QString& builtIn) {
    const QString key =
        TIniFile(settingsFile)
            .ReadString(QStringLiteral("SERVER"), QStringLiteral("publickey"), QString())
            .trimmed();
    return key.isEmpty() ? builtIn.trimmed() : key;
}

PublisherKey PublisherKey::fromText(const QString& base64) {
    PublisherKey result;
    result.required = !base64.trimmed().isEmpty();
    if (result.required) {
        result.key = signing::PublicKey::fromBase64(base64.toLatin1());
    }
    return result;
}

}  // namespace selvanix
