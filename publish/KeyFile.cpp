#include "KeyFile.h"

#include "Commands.h"

#include <QFile>

namespace selvanix::publish {

std::optional<signing::PrivateKey> loadPrivateKey(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report(kFailed,
               QStringLiteral("cannot read key file %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    auto key = signing::PrivateKey::fromPem(file.read(64 * 1024));
    if (!key) {
        report(kFailed, QStringLiteral("%1 holds no Ed25519 private key").arg(path));
    }
    return key;
}

}  // namespace selvanix::publish
