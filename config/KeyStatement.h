#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace selvanix {

// The statements a publisher publishes beside its packages, in kKeyStatementsFile, to move
// to a new key or stop trusting one. Blocks separated by an empty line:
//   selvanix-key 1
//   add <base64 key>        or   revoke <base64 key>
//   by <base64 key that signs>
//   podpis <base64 signature over the three lines above>
inline constexpr char16_t kKeyStatementsFile[] = u"selvanix-keys.txt";
inline constexpr qint64 kMaxKeyStatementsBytes = 64 * 1024;

enum class KeyChangeKind { Add, Revoke };
QByteArray keySigningText(KeyChangeKind kind, const QByteArray& key, const QByteArray& by);
QByteArray keyStatementText(KeyChangeKind kind, const QByteArray& key, const QByteArray& by,
                            const QByteArray& signature);

// The trusted and the revoked keys after the statements, taken in order: a statement counts
// when the key that signs it is trusted then and not revoked. Revocations win: a revoked key
// leaves the trusted ones and is never added again.
struct TrustedKeys {
    QStringList trusted;
    QStringList revoked;
    bool operator==(const TrustedKeys&) const = default;
};
TrustedKeys applyKeyStatements(const QByteArray& text, TrustedKeys keys);

}  // namespace selvanix
