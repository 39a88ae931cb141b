#include "Commands.h"
#include "KeyFile.h"
#include "Options.h"
#include "OutputFile.h"

#include <QFile>

namespace selvanix::publish {

int sign(const QStringList& arguments) {
    const auto options = Options::parse(arguments, {QStringLiteral("--key")}, {1});
    if (!options || !options->require({QStringLiteral("--key")})) {
        return kUsage;
    }
    const auto key = loadPrivateKey(options->named.value(QStringLiteral("--key")));
    if (!key) {
        return kFailed;
    }
    const QString path = options->plain[0];
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return report(kFailed, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    }
    const QByteArray signature = key->sign(file.readAll());
    OutputFile out(path + QStringLiteral(".sig"));
    if (signature.isEmpty() || !out.open() || out.file().write(signature.toBase64() + '\n') < 0 ||
        !out.commit()) {
        return report(kFailed, QStringLiteral("cannot write %1").arg(out.finalPath()));
    }
    return kDone;
}

}  // namespace selvanix::publish
