#pragma once

// Descriptors signed by a publisher key over their values and the archive, for the tests of
// signed packages (they link the config library).
#include "config/PackageDescriptor.h"
#include "config/PackageSignature.h"
#include "config/Signature.h"
#include "config/UpdateStatement.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

namespace selvanix::test {

struct Values {
    QString hledany = QStringLiteral("brodelik.exe");
    QString nazev = QStringLiteral("Brodělík");
    QString verze = QStringLiteral("14,20");
    QString datum = QStringLiteral("12.5.2023");
    QString run = QStringLiteral("brodelik.exe");
    QString platnost;                           // empty: no validity line
    QString stem = QStringLiteral("brodelik");  // signed for this product
    bool namesArchive = true;                   // an "archiv" line, as the publisher writes
};

// A descriptor whose podpis is made by key over values and the archive's bytes; shown may
// differ from what was signed, to tamper with it.
inline QByteArray signedDescriptor(const signing::PrivateKey& key, const QByteArray& archive,
                                   const Values& signedValues, const Values& shown,
                                   const QByteArray& podpisOverride = "-") {
    PackageDescriptor d;
    d.hledany = signedValues.hledany;
    d.nazev = signedValues.nazev;
    d.verze = signedValues.verze;
    d.datum = signedValues.datum;
    d.run = signedValues.run;
    if (!signedValues.platnost.isEmpty()) {
        d.platnost = signedValues.platnost;
    }
    const QByteArray hash = QCryptographicHash::hash(archive, QCryptographicHash::Sha256).toHex();
    const QByteArray podpis =
        podpisOverride == "-" ? key.sign(packageSigningText(signedValues.stem, d, hash)).toBase64()
                              : podpisOverride;
    QString text = "[DEFINICE]\r\nhledany=" + shown.hledany + "\r\nnazev=" + shown.nazev +
                   "\r\nverze=" + shown.verze + "\r\ndatum=" + shown.datum +
                   "\r\nrun=" + shown.run + "\r\n";
    if (!shown.platnost.isEmpty()) {
        text += "platnost=" + shown.platnost + "\r\n";
    }
    if (shown.namesArchive) {
        text += "archiv=" + QString::fromLatin1(hash) + "\r\n";
    }
    if (!podpis.isEmpty()) {
        text += "podpis=" + QString::fromLatin1(podpis) + "\r\n";
    }
    return "\xEF\xBB\xBF" + text.toUtf8();
}

// The signed statement of a new Selvanix with those bytes and that version.
inline QByteArray updateStatement(const signing::PrivateKey& key, const QByteArray& bytes,
                                  const QString& version) {
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    return updateStatementText(version, hash, key.sign(updateSigningText(version, hash)));
}

}  // namespace selvanix::test
