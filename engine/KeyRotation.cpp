// Key statements: fetched (or read from the package folder) before the packages, so a package
// signed by a key the publisher moved to verifies, and one by a revoked key does not.
#include "InstallEngine.h"
#include "InstallerSettings.h"
#include "config/KeyStatement.h"
#include "config/PublisherKey.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/handles/File.h"
#include "platform/handles/StagedFile.h"

namespace selvanix {

QString InstallEngine::takeKeyStatements(const RunRequest& request) {
    if (request.publicKey.trimmed().isEmpty()) {
        return request.publicKey;  // no key, nothing to change
    }
    const QString name = QString::fromUtf16(kKeyStatementsFile);
    QByteArray text;
    if (request.source == PackageSource::Internet) {
        // Quietly: a server without statements is the usual case, not a failed download. Under
        // a name of this run's own: a check may fetch them while an installation does.
        try {
            text = fetchSmallFile(fetcher_, request.baseUrl + name, platform::installerFolder(),
                                  kMaxKeyStatementsBytes)
                       .bytes.value_or(QByteArray());
        } catch (const std::exception&) {
            text.clear();
        }
    } else {
        text =
            platform::File::readWithin(request.packageFolder + u'\\' + name, kMaxKeyStatementsBytes)
                .value_or(QByteArray());
    }
    // Revocations win over every list, the one this run was given too.
    const QString settings = platform::installerFolder() + QString::fromUtf16(kSettingsFileName);
    TrustedKeys before{{}, revokedKeys()};
    before.trusted = keysNotRevoked(request.publicKey, before.revoked);
    const TrustedKeys after = applyKeyStatements(text, before);
    const QString keys =
        after.trusted.isEmpty() ? QStringLiteral("revoked") : after.trusted.join(u' ');
    if (after == before) {
        return keys;
    }
    saveTrustedKeys(settings, after.trusted, after.revoked);
    log(QStringLiteral("key statements: %1 trusted, %2 revoked")
            .arg(after.trusted.size())
            .arg(after.revoked.size()));
    // Said where the user looks, not only in the log: trust is the user's to know.
    QStringList added;
    QStringList revoked;
    for (const QString& key : after.trusted) {
        if (!before.trusted.contains(key)) {
            added << key;
        }
    }
    for (const QString& key : after.revoked) {
        if (!before.revoked.contains(canonicalKey(key).value_or(key)) &&
            !before.revoked.contains(key)) {
            revoked << key;
        }
    }
    if (!added.isEmpty() || !revoked.isEmpty()) {
        observer_.keysChanged(added, revoked);
    }
    return keys;
}

}  // namespace selvanix
