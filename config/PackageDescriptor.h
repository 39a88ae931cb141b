#pragma once

#include <QString>
#include <optional>

namespace selvanix {

// The keys of a package descriptor "<stem>.ini" that the installer reads; a key missing from
// the file stays empty here and leaves the caller's value as it was.
struct PackageDescriptor {
    std::optional<QString> hledany;   // file that marks a folder of an installation
    std::optional<QString> nazev;     // package name
    std::optional<QString> verze;     // version
    std::optional<QString> datum;     // package date
    std::optional<QString> run;       // program to start in each target
    std::optional<QString> platnost;  // last day the package may be installed, YYYY-MM-DD
    std::optional<QString> podpis;    // the publisher's signature (base64), when signed
    // The SHA-256 of the archive the signature covers, as the publisher wrote it; lets the
    // descriptor be checked before its archive is fetched. The archive is checked by its own
    // bytes all the same.
    std::optional<QString> archiv;
};

// Section "DEFINICE" of a descriptor's bytes; keys compared exactly.
PackageDescriptor parsePackageDescriptor(const QByteArray& bytes);
// The descriptor file read once, within the profile bound (a larger one reads as empty), so
// the values checked are the values used.
PackageDescriptor readPackageDescriptor(const QString& fileName);

}  // namespace selvanix
