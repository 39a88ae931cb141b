#pragma once

#include "PackageDescriptor.h"
#include "Signature.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <vector>

namespace selvanix {

// What a package signature covers, form 2: "selvanix-package 2\n", then lines "stem S",
// "hledany V", "nazev V", "verze V", "datum V", "run V", "platnost V" (empty values when
// absent) and "archive H" with the archive's SHA-256 as lowercase hex, each ending in "\n".
// So the one descriptor key "podpis" binds what the installer shows, searches for, starts
// and may install until, to the product it is for and the archive it extracts.
QByteArray packageSigningText(const QString& stem, const PackageDescriptor& descriptor,
                              const QByteArray& archiveSha256);

// A release channel's name: letters, digits and '-', at most 32 characters. Stable is the
// channel of a copy that names none.
bool isChannelName(const QString& channel);
// The product as a package signature and a release index name it: the stem for the stable
// channel, so stable packages sign what they always signed, and "stem@channel" for any
// other, which no copy of another channel (or from before channels) takes for its own.
QString signedStem(const QString& stem, const QString& channel);

enum class PackageCheck {
    Verified,
    Unsigned,      // no "podpis" in the descriptor
    BadSignature,  // a signature that is malformed, by another key, or over other content
    NoArchive,     // the archive cannot be read
    OldForm,       // signed in form 1, which names no product: refused
    Expired,       // verified, but its "platnost" is past (or no date)
};

// Checks a descriptor's values, as read once, and the hash of the archive that will be
// extracted, against the publisher's keys (any of them) for the product stem.
PackageCheck checkPackage(const PackageDescriptor& descriptor, const QString& stem,
                          const QByteArray& archiveSha256,
                          const std::vector<signing::PublicKey>& keys, const QDate& today);
// The descriptor alone, against the archive hash it names itself ("archiv"), as a check for
// updates reads it before any archive is fetched; NoArchive when it names none.
PackageCheck checkDescriptor(const PackageDescriptor& descriptor, const QString& stem,
                             const std::vector<signing::PublicKey>& keys, const QDate& today);
// The same for files (installer paths), as the publisher's tool checks what it wrote.
PackageCheck checkPackage(const QString& descriptorFile, const QString& archiveFile,
                          const QString& stem, const std::vector<signing::PublicKey>& keys,
                          const QDate& today);

}  // namespace selvanix
