#include "Rollout.h"

#include "config/Signature.h"
#include "platform/FaultPoint.h"
#include "platform/FileOps.h"
#include "platform/handles/File.h"
#include "platform/handles/StagedFile.h"
#include "store/Manifest.h"

#include <QMessageAuthenticationCode>

namespace selvanix {

namespace {

constexpr char kPurpose[] = "selvanix rollout 1";
constexpr char kOwnIdName[] = "machine.id";

// An id as systemd writes it: 32 lowercase hex digits and a line end.
std::optional<QByteArray> idIn(const std::optional<QByteArray>& text) {
    if (!text) {
        return std::nullopt;
    }
    const QByteArray id = text->trimmed();
    return signing::isLowerHex(id, 32) ? std::optional<QByteArray>(id) : std::nullopt;
}

}  // namespace

int rolloutBucket(const QByteArray& machineId, const QString& stem, const QString& version) {
    const QByteArray message =
        QByteArray(kPurpose) + '\n' + stem.toUtf8() + '\n' + version.toUtf8() + '\n';
    const QByteArray mac =
        QMessageAuthenticationCode::hash(message, machineId, QCryptographicHash::Sha256);
    const quint32 first = (quint32(quint8(mac[0])) << 24) | (quint32(quint8(mac[1])) << 16) |
                          (quint32(quint8(mac[2])) << 8) | quint32(quint8(mac[3]));
    return static_cast<int>(first % 100);
}

bool inRollout(int bucket, int share) {
    return bucket < share;
}

QByteArray rolloutMachineId() {
    if (const std::optional<QByteArray> id = idIn(platform::File::readWithin(
            QString::fromLocal8Bit(platform::machineIdFile("/etc/machine-id")), 4096))) {
        return *id;
    }
    const std::optional<platform::FolderHandle> data =
        platform::FolderHandle::open(platform::installerFolder());
    if (!data) {
        return {};
    }
    if (const std::optional<QByteArray> own = idIn(readBounded(*data, kOwnIdName, 4096))) {
        return *own;
    }
    const QByteArray made = platform::randomTag() + platform::randomTag();
    std::optional<platform::StagedFile> staged = platform::StagedFile::create(*data, kOwnIdName);
    if (!staged || !staged->file().write(made + '\n') || !staged->file().flush() ||
        !staged->commit()) {
        return {};
    }
    return made;
}

}  // namespace selvanix
