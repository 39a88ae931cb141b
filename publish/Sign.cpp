#include "Commands.h"
#include "KeyFile.h"
#include "Options.h"
#include "OutputFile.h"

#include "config/PackageVersion.h"
#include "config/UpdateStatement.h"

#include <QFile>

namespace selvanix::publish {

int sign(const QStringList& arguments) {
    const auto options =
        Options::parse(arguments, {QStringLiteral("--key"), QStringLiteral("--version")}, {1});
    if (!options || !options->require({QStringLiteral("--key"), QStringLiteral("--version")})) {
        return kUsage;
    }
    const QString version = options->named.value(QStringLiteral("--version"));
    if (compareVersions(version, version) == VersionOrder::Incomparable) {
        return report(kUsage, QStringLiteral("--version takes numbers separated by dots or "
                                             "commas, such as 0.2"));
    }
    const auto key = loadPrivateKey(options->named.value(QStringLiteral("--key")));
    if (!key) {
        return kFailed;
    }
    const QString path = options->plain[0];
    const auto hash = signing::sha256OfFile(path);
    if (!hash) {
        return report(kFailed, QStringLiteral("cannot read %1").arg(path));
    }
    const QByteArray signature = key->sign(updateSigningText(version, *hash));
    OutputFile out(path + QStringLiteral(".sig"));
    if (signature.isEmpty() || !out.open() ||
        out.file().write(updateStatementText(version, *hash, signature)) < 0 || !out.commit()) {
        return report(kFailed, QStringLiteral("cannot write %1").arg(out.finalPath()));
    }
    return kDone;
}

}  // namespace selvanix::publish
