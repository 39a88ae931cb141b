#include "PackageSignature.h"

#include "platform/Paths.h"

#include <QFile>
#include <algorithm>

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

QByteArray packageSigningText(const QString& stem, const PackageDescriptor& descriptor,
                              const QByteArray& archiveSha256) {
    QByteArray text = "selvanix-package 2\nstem " + stem.toUtf8() + '\n';
    const std::pair<const char*, const std::optional<QString>*> values[] = {
        {"hledany", &descriptor.hledany}, {"nazev", &descriptor.nazev},
        {"verze", &descriptor.verze},     {"datum", &descriptor.datum},
        {"run", &descriptor.run},         {"platnost", &descriptor.platnost},
    };
    for (const auto& [name, value] : values) {
        text += QByteArray(name) + ' ' + value->value_or(QString()).toUtf8() + '\n';
    }
    return text + "archive " + archiveSha256 + '\n';
}

namespace {

// Form 1 covered the values and the hash, and neither the product nor a validity.
QByteArray oldSigningText(const PackageDescriptor& descriptor, const QByteArray& archiveSha256) {
    QByteArray text = "selvanix-package 1\n";
    for (const auto* value : {&descriptor.hledany, &descriptor.nazev, &descriptor.verze,
                              &descriptor.datum, &descriptor.run}) {
        text += value->value_or(QString()).toUtf8() + '\n';
    }
    return text + archiveSha256 + '\n';
}

bool anyVerifies(const std::vector<signing::PublicKey>& keys, const QByteArray& text,
                 const QByteArray& signature) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const signing::PublicKey& key) { return key.verify(text, signature); });
}

}  // namespace

PackageCheck checkPackage(const PackageDescriptor& descriptor, const QString& stem,
                          const QByteArray& archiveSha256,
                          const std::vector<signing::PublicKey>& keys, const QDate& today) {
    if (!descriptor.podpis || descriptor.podpis->trimmed().isEmpty()) {
        return PackageCheck::Unsigned;
    }
    const auto signature = signing::decodeSignature(descriptor.podpis->toLatin1());
    if (!signature) {
        return PackageCheck::BadSignature;
    }
    if (!anyVerifies(keys, packageSigningText(stem, descriptor, archiveSha256), *signature)) {
        return anyVerifies(keys, oldSigningText(descriptor, archiveSha256), *signature)
                   ? PackageCheck::OldForm
                   : PackageCheck::BadSignature;
    }
    if (descriptor.platnost && !descriptor.platnost->isEmpty()) {
        const QDate until = QDate::fromString(*descriptor.platnost, Qt::ISODate);
        if (!until.isValid() || today > until) {
            return PackageCheck::Expired;
        }
    }
    return PackageCheck::Verified;
}

PackageCheck checkPackage(const QString& descriptorFile, const QString& archiveFile,
                          const QString& stem, const std::vector<signing::PublicKey>& keys,
                          const QDate& today) {
    const PackageDescriptor descriptor = readPackageDescriptor(descriptorFile);
    if (!descriptor.podpis || descriptor.podpis->trimmed().isEmpty()) {
        return PackageCheck::Unsigned;
    }
    const auto hash = signing::sha256OfFile(platform::toHostPath(archiveFile));
    if (!hash) {
        return PackageCheck::NoArchive;
    }
    return checkPackage(descriptor, stem, *hash, keys, today);
}

bool checkDetachedSignature(const QString& file, const QString& signatureFile,
                            const std::vector<signing::PublicKey>& keys) {
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
        return anyVerifies(keys, QByteArray(), *signature);
    }
    const uchar* mapped = content.map(0, size);
    if (mapped == nullptr) {
        return false;
    }
    const bool verified = anyVerifies(
        keys, QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size), *signature);
    content.unmap(const_cast<uchar*>(mapped));
    return verified;
}

}  // namespace selvanix
