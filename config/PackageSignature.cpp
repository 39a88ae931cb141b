#include "PackageSignature.h"

#include "platform/Paths.h"

#include <QFile>
#include <algorithm>

namespace selvanix {

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

bool isChannelName(const QString& channel) {
    if (channel.isEmpty() || channel.size() > 32) {
        return false;
    }
    return std::all_of(channel.begin(), channel.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'-';
    });
}

QString signedStem(const QString& stem, const QString& channel) {
    return channel.isEmpty() || channel == u"stable" ? stem : stem + u'@' + channel;
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
    if (!signing::anyKeyVerifies(keys, packageSigningText(stem, descriptor, archiveSha256),
                                 *signature)) {
        return signing::anyKeyVerifies(keys, oldSigningText(descriptor, archiveSha256), *signature)
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

PackageCheck checkDescriptor(const PackageDescriptor& descriptor, const QString& stem,
                             const std::vector<signing::PublicKey>& keys, const QDate& today) {
    const QByteArray archive = descriptor.archiv.value_or(QString()).toLatin1();
    if (descriptor.podpis && !descriptor.podpis->trimmed().isEmpty() &&
        !signing::isLowerHex(archive, 64)) {
        return PackageCheck::NoArchive;
    }
    return checkPackage(descriptor, stem, archive, keys, today);
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

}  // namespace selvanix
