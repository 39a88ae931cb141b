#include "KeyStatement.h"

#include "PublisherKey.h"
#include "Signature.h"

#include <QList>

namespace selvanix {

QByteArray keySigningText(KeyChangeKind kind, const QByteArray& key, const QByteArray& by) {
    return QByteArray("selvanix-key 1\n") + (kind == KeyChangeKind::Add ? "add " : "revoke ") +
           key + "\nby " + by + '\n';
}

QByteArray keyStatementText(KeyChangeKind kind, const QByteArray& key, const QByteArray& by,
                            const QByteArray& signature) {
    return keySigningText(kind, key, by) + "podpis " + signature.toBase64() + '\n';
}

TrustedKeys applyKeyStatements(const QByteArray& text, TrustedKeys keys) {
    if (text.size() > kMaxKeyStatementsBytes) {
        return keys;
    }
    // Compared as keys: every list in the one spelling statements are written in.
    for (QStringList* list : {&keys.trusted, &keys.revoked}) {
        for (QString& word : *list) {
            word = canonicalKey(word).value_or(word);
        }
    }
    QList<QByteArray> lines = text.split('\n');
    for (qsizetype at = 0; at + 3 < lines.size(); ++at) {
        if (lines[at].trimmed() != "selvanix-key 1") {
            continue;
        }
        const QByteArray change = lines[at + 1].trimmed();
        const bool add = change.startsWith("add ");
        const bool revoke = change.startsWith("revoke ");
        const QByteArray key = change.mid(change.indexOf(' ') + 1);
        const QByteArray by = lines[at + 2].trimmed().startsWith("by ")
                                  ? lines[at + 2].trimmed().mid(3)
                                  : QByteArray();
        const QByteArray podpis = lines[at + 3].trimmed().startsWith("podpis ")
                                      ? lines[at + 3].trimmed().mid(7)
                                      : QByteArray();
        const QString byText = QString::fromLatin1(by);
        const QString keyText = QString::fromLatin1(key);
        const auto signer = signing::PublicKey::fromBase64(by);
        const auto signature = signing::decodeSignature(podpis);
        const KeyChangeKind kind = add ? KeyChangeKind::Add : KeyChangeKind::Revoke;
        if ((!add && !revoke) || canonicalKey(keyText) != keyText ||
            canonicalKey(byText) != byText || !signer || !signature ||
            !keys.trusted.contains(byText) || keys.revoked.contains(byText) ||
            !signer->verify(keySigningText(kind, key, by), *signature)) {
            continue;
        }
        if (revoke) {
            keys.trusted.removeAll(keyText);
            if (!keys.revoked.contains(keyText)) {
                keys.revoked << keyText;
            }
        } else if (!keys.revoked.contains(keyText) && !keys.trusted.contains(keyText)) {
            keys.trusted << keyText;
        }
        at += 3;
    }
    return keys;
}

}  // namespace selvanix
