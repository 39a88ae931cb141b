#include "PublisherKey.h"

#include "profile/IniFile.h"

#include <QRegularExpression>

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
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString& word : base64.split(separators, Qt::SkipEmptyParts)) {
        if (std::optional<signing::PublicKey> key =
                signing::PublicKey::fromBase64(word.toLatin1())) {
            result.keys.push_back(*key);
        }
    }
    return result;
}

}  // namespace selvanix
