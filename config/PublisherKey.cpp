#include "PublisherKey.h"

#include "profile/IniFile.h"

#include <QRegularExpression>

namespace selvanix {

QStringList keyWords(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

std::optional<QString> canonicalKey(const QString& word) {
    const std::optional<signing::PublicKey> key = signing::PublicKey::fromBase64(word.toLatin1());
    return key ? std::optional<QString>(QString::fromLatin1(key->base64())) : std::nullopt;
}

QStringList misspelledKeys(const QString& text) {
    QStringList found;
    for (const QString& word : keyWords(text)) {
        if (const std::optional<QString> key = canonicalKey(word); key && *key != word) {
            found << word;
        }
    }
    return found;
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
    QStringList gone;
    for (const QString& word : revoked) {
        gone << canonicalKey(word).value_or(word);
    }
    QStringList kept;
    for (const QString& word : keyWords(keys)) {
        if (!gone.contains(canonicalKey(word).value_or(word))) {
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
    QStringList revoked;
    for (const QString& word : keyWords(
             TIniFile(settingsFile)
                 .ReadString(QStringLiteral("SERVER"), QStringLiteral("revokedkeys"), QString()))) {
        revoked << canonicalKey(word).value_or(word);
    }
    return revoked;
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
        std::optional<signing::PublicKey> key = signing::PublicKey::fromBase64(word.toLatin1());
        if (key && key->base64() == word.toLatin1()) {
            result.keys.push_back(*key);
        }
    }
    return result;
}

}  // namespace selvanix
