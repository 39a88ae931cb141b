#include "PublisherKey.h"

#include "profile/IniFile.h"

#include <QRegularExpression>

namespace selvanix {

QStringList keyWords(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

QString readPublisherKey(const QString& settingsFile, const QString& builtIn) {
    const QString key =
        TIniFile(settingsFile)
            .ReadString(QStringLiteral("SERVER"), QStringLiteral("publickey"), QString())
            .trimmed();
    const QString listed = key.isEmpty() ? builtIn.trimmed() : key;
    return withoutRevoked(listed, readRevokedKeys(settingsFile));
}

QStringList keysNotRevoked(const QString& keys, const QStringList& revoked) {
    QStringList kept;
    for (const QString& word : keyWords(keys)) {
        if (!revoked.contains(word)) {
            kept << word;
        }
    }
    return kept;
}

QString withoutRevoked(const QString& keys, const QStringList& revoked) {
    if (revoked.isEmpty() || keys.trimmed().isEmpty()) {
        return keys;
    }
    const QStringList kept = keysNotRevoked(keys, revoked);
    // All of them revoked: still a key is required, and none verifies.
    return kept.isEmpty() ? QStringLiteral("revoked") : kept.join(u' ');
}

QStringList readRevokedKeys(const QString& settingsFile) {
    return keyWords(
        TIniFile(settingsFile)
            .ReadString(QStringLiteral("SERVER"), QStringLiteral("revokedkeys"), QString()));
}

void saveTrustedKeys(const QString& settingsFile, const QStringList& trusted,
                     const QStringList& revoked) {
    TIniFile ini(settingsFile);
    ini.WriteString(QStringLiteral("SERVER"), QStringLiteral("publickey"), trusted.join(u' '));
    ini.WriteString(QStringLiteral("SERVER"), QStringLiteral("revokedkeys"), revoked.join(u' '));
    ini.UpdateFile();
}

PublisherKey PublisherKey::fromText(const QString& base64) {
    PublisherKey result;
    result.required = !base64.trimmed().isEmpty();
    for (const QString& word : keyWords(base64)) {
        if (std::optional<signing::PublicKey> key =
                signing::PublicKey::fromBase64(word.toLatin1())) {
            result.keys.push_back(*key);
        }
    }
    return result;
}

}  // namespace selvanix
