// `selvanix-publish key`: appends a signed key statement to the statements file published
// beside the packages.
#include "Commands.h"
#include "KeyFile.h"
#include "Options.h"
#include "OutputFile.h"
#include "config/KeyStatement.h"
#include "config/PublisherKey.h"

#include <QFile>
#include <QList>

namespace selvanix::publish {

namespace {

// Whether a statement of the file revokes key, whoever signed it: the publisher's own file.
bool revokesKey(const QByteArray& text, const QByteArray& key) {
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype at = 0; at + 1 < lines.size(); ++at) {
        if (lines[at].trimmed() == "selvanix-key 1" && lines[at + 1].trimmed() == "revoke " + key) {
            return true;
        }
    }
    return false;
}

}  // namespace

int keyChange(const QStringList& arguments) {
    const auto options = Options::parse(
        arguments, {QStringLiteral("--key"), QStringLiteral("--add"), QStringLiteral("--revoke")},
        {1});
    if (!options || !options->require({QStringLiteral("--key")})) {
        return kUsage;
    }
    const bool add = options->named.contains(QStringLiteral("--add"));
    if (add == options->named.contains(QStringLiteral("--revoke"))) {
        return report(kUsage, QStringLiteral("give one of --add and --revoke"));
    }
    const QByteArray changed =
        options->named.value(add ? QStringLiteral("--add") : QStringLiteral("--revoke")).toLatin1();
    // Statements name keys in their one spelling only: copies compare them as written.
    const std::optional<QString> canonical = canonicalKey(QString::fromLatin1(changed));
    if (!canonical) {
        return report(kUsage, QStringLiteral("%1 is no Ed25519 public key in base64")
                                  .arg(QString::fromLatin1(changed)));
    }
    if (*canonical != QString::fromLatin1(changed)) {
        return report(kUsage, QStringLiteral("%1 is not written as padded base64: write %2")
                                  .arg(QString::fromLatin1(changed), *canonical));
    }
    const auto key = loadPrivateKey(options->named.value(QStringLiteral("--key")));
    if (!key) {
        return kFailed;
    }
    const QString path = options->plain[0];
    QByteArray text;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            return report(kFailed, QStringLiteral("cannot read %1").arg(path));
        }
        text = existing.read(kMaxKeyStatementsBytes + 1);
        if (!text.isEmpty() && !text.endsWith('\n')) {
            text += '\n';
        }
        if (!text.isEmpty()) {
            text += '\n';
        }
    }
    const KeyChangeKind kind = add ? KeyChangeKind::Add : KeyChangeKind::Revoke;
    const QByteArray by = key->publicKey().base64();
    // Every copy ignores what a revoked key signs; a statement it signs only misleads.
    if (revokesKey(text, by)) {
        return report(kFailed, QStringLiteral("%1 already revokes the signing key %2")
                                   .arg(path, QString::fromLatin1(by)));
    }
    text += keyStatementText(kind, changed, by, key->sign(keySigningText(kind, changed, by)));
    if (text.size() > kMaxKeyStatementsBytes) {
        return report(kFailed,
                      QStringLiteral("%1 would be larger than Selvanix reads (64 KiB)").arg(path));
    }
    OutputFile out(path);
    if (!out.open() || out.file().write(text) < 0 || !out.commit()) {
        return report(kFailed, QStringLiteral("cannot write %1").arg(path));
    }
    return kDone;
}

}  // namespace selvanix::publish
