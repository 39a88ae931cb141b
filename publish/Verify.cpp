#include "Commands.h"
#include "Options.h"
#include "config/PackageSignature.h"
#include "config/UpdateStatement.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace selvanix::publish {

int verify(const QStringList& arguments) {
    const auto options = Options::parse(
        arguments, {QStringLiteral("--public-key"), QStringLiteral("--channel")}, {1, 2});
    if (!options || !options->require({QStringLiteral("--public-key")})) {
        return kUsage;
    }
    const auto key = signing::PublicKey::fromBase64(
        options->named.value(QStringLiteral("--public-key")).toLatin1());
    if (!key) {
        return report(kUsage, QStringLiteral("--public-key is no Ed25519 public key in base64"));
    }
    if (options->plain.size() == 1) {
        const QString file = QFileInfo(options->plain[0]).absoluteFilePath();
        const QString signature = file + QStringLiteral(".sig");
        if (!QFileInfo(file).isFile()) {
            return report(kFailed, QStringLiteral("%1: no such file").arg(file));
        }
        if (!QFileInfo::exists(signature)) {
            return report(kFailed, QStringLiteral("%1: not signed (no %2)").arg(file, signature));
        }
        const UpdateVerdict verdict = checkUpdate(file, signature, {*key}, QString());
        if (verdict.check == UpdateCheck::OldForm) {
            return report(kFailed,
                          QStringLiteral("%1: signed in the old form; sign it again with --version")
                              .arg(file));
        }
        if (verdict.check != UpdateCheck::Verified) {
            return report(kFailed, QStringLiteral("%1: the signature does not match").arg(file));
        }
        std::printf("%s: verified, version %s\n", qUtf8Printable(file),
                    qUtf8Printable(verdict.version));
        return kDone;
    }
    const QDir folder(options->plain[0]);
    const QString stem = options->plain[1];
    const QString descriptor = folder.absoluteFilePath(stem + QStringLiteral(".ini"));
    const QString archive = folder.absoluteFilePath(QStringLiteral("upgrade-") + stem + ".zip");
    if (!QFileInfo(descriptor).isFile()) {
        return report(kFailed, QStringLiteral("%1: no such file").arg(descriptor));
    }
    switch (checkPackage(descriptor, archive,
                         signedStem(stem, options->named.value(QStringLiteral("--channel"))),
                         {*key}, QDate::currentDate())) {
        case PackageCheck::Verified:
            std::printf("%s: verified\n", qUtf8Printable(stem));
            return kDone;
        case PackageCheck::Unsigned:
            return report(kFailed, QStringLiteral("%1: not signed (no podpis)").arg(descriptor));
        case PackageCheck::NoArchive:
            return report(kFailed, QStringLiteral("%1: cannot be read").arg(archive));
        case PackageCheck::OldForm:
            return report(kFailed, QStringLiteral("%1: signed in the old form, which names no "
                                                  "product; package it again")
                                       .arg(stem));
        case PackageCheck::Expired:
            return report(
                kFailed,
                QStringLiteral("%1: valid until %2 only")
                    .arg(stem, readPackageDescriptor(descriptor).platnost.value_or(QString())));
        case PackageCheck::BadSignature:
            break;
    }
    return report(kFailed,
                  QStringLiteral("%1: the signature does not match the descriptor's values, "
                                 "the archive and the product %1")
                      .arg(stem));
}

}  // namespace selvanix::publish
