#include "UpdateStatement.h"

#include "PackageVersion.h"
#include "platform/handles/File.h"

#include <QFile>
#include <QList>
#include <algorithm>

namespace selvanix {

namespace {

// A statement is a few short lines; anything larger is not one.
constexpr qint64 kMaxStatementBytes = 4096;

}  // namespace

QByteArray updateSigningText(const QString& version, const QByteArray& sha256) {
    return "selvanix-update 2\npurpose selvanixnext\nversion " + version.toUtf8() + "\nsha256 " +
           sha256 + '\n';
}

QByteArray updateStatementText(const QString& version, const QByteArray& sha256,
                               const QByteArray& signature) {
    return updateSigningText(version, sha256) + "podpis " + signature.toBase64() + '\n';
}

UpdateVerdict checkUpdate(const QString& file, const QString& statementFile,
                          const std::vector<signing::PublicKey>& keys,
                          const QString& runningVersion) {
    UpdateVerdict verdict;
    const std::optional<QByteArray> text =
        platform::File::readWithin(statementFile, kMaxStatementBytes);
    if (!text) {
        return verdict;
    }
    QList<QByteArray> lines = text->split('\n');
    if (lines.size() == 2 && lines[1].isEmpty() && !lines[0].contains(' ')) {
        // The first form: one base64 line over the whole file.
        const auto old = signing::decodeSignature(lines[0]);
        QFile content(file);
        if (old && content.open(QIODevice::ReadOnly) && content.size() <= (64 << 20) &&
            signing::anyKeyVerifies(keys, content.readAll(), *old)) {
            verdict.check = UpdateCheck::OldForm;
        }
        return verdict;
    }
    if (lines.size() != 6 || !lines[5].isEmpty() || lines[0] != "selvanix-update 2" ||
        lines[1] != "purpose selvanixnext" || !lines[2].startsWith("version ") ||
        !lines[3].startsWith("sha256 ") || !lines[4].startsWith("podpis ")) {
        return verdict;
    }
    const QString version = QString::fromUtf8(lines[2].mid(8));
    const QByteArray sha256 = lines[3].mid(7);
    const auto signature = signing::decodeSignature(lines[4].mid(7));
    const auto actual = signing::sha256OfFile(file);
    if (!signature || !actual || *actual != sha256 ||
        !signing::anyKeyVerifies(keys, updateSigningText(version, sha256), *signature)) {
        return verdict;
    }
    verdict.version = version;
    verdict.check =
        runningVersion.isEmpty() || compareVersions(version, runningVersion) == VersionOrder::Newer
            ? UpdateCheck::Verified
            : UpdateCheck::NotNewer;
    return verdict;
}

}  // namespace selvanix
