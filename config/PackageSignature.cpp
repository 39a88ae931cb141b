#include "PackageSignature.h"

#include "platform/Paths.h"

#include <QFile>

namespace selvanix {

namespace {

std::optional<QByteArray> readWhole(const QString& path, qint64 limit) {
    QFile file(platform::toHostPath(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit) {
        return std::nullopt;
    }
    return file.readAll();
}

}  // namespace

QByteArray packageSigningText(const PackageDescriptor& descriptor,
                              const QByteArray& archiveSha256) {
    QByteArray text = "selvanix-package 1\n";
    for (const auto* value : {&descriptor.hledany, &descriptor.nazev, &descriptor.verze,
                              &descriptor.datum, &descriptor.run}) {
        text += value->value_or(QString()).toUtf8() + '\n';
    }
    return text + archiveSha256 + '\n';
}

PackageCheck checkPackage(const QString& descriptorFile, const QString& archiveFile,
                          const signing::PublicKey& key) {
    const PackageDescriptor descriptor = readPackageDescriptor(descriptorFile);
    if (!descriptor.podpis || descriptor.podpis->trimmed().isEmpty()) {
        return PackageCheck::Unsigned;
    }
    const auto hash = signing::sha256OfFile(platform::toHostPath(archiveFile));
    if (!hash) {
        return PackageCheck::NoArchive;
    }
    const auto signature = signing::decodeSignature(descriptor.podpis->toLatin1());
    return signature && key.verify(packageSigningText(descriptor, *hash), *signature)
               ? PackageCheck::Verified
               : PackageCheck::BadSignature;
}

bool checkDetachedSignature(const QString& file, const QString& signatureFile,
                            const signing::PublicKey& key) {
    // A signature file is one short line; anything larger is not one.
    const auto text = readWhole(signatureFile, 4096);
    const auto signature = text ? signing::decodeSignature(*text) : std::nullopt;
    if (!signature) {
        return false;
    }
    // The signed file may be large: it is mapped, never copied into memory.
    QFile content(platform::toHostPath(file));
    if (!content.open(QIODevice::ReadOnly)) {
        return false;
    }
    const qint64 size = content.size();
    if (size == 0) {
        return key.verify(QByteArray(), *signature);
    }
    const uchar* mapped = content.map(0, size);
    if (mapped == nullptr) {
        return false;
    }
    const bool verified = key.verify(
        QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size), *signature);
    content.unmap(const_cast<uchar*>(mapped));
    return verified;
}

}  // namespace selvanix
