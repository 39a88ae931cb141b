#pragma once

#include "PackageDescriptor.h"
#include "Signature.h"

#include <QByteArray>
#include <QString>

namespace selvanix {

// What a package signature covers: "selvanix-package 1\n", the values of hledany, nazev,
// verze, datum and run (empty when absent), each followed by "\n", and the archive's SHA-256
// as lowercase hex followed by "\n". So the one descriptor key "podpis" binds what the
// installer shows, searches for and starts to the archive it extracts.
QByteArray packageSigningText(const PackageDescriptor& descriptor, const QByteArray& archiveSha256);

enum class PackageCheck {
    Verified,
    Unsigned,      // no "podpis" in the descriptor
    BadSignature,  // a signature that is malformed, by another key, or over other content
    NoArchive,     // the archive cannot be read
};

// Checks a package (installer paths of its descriptor and archive) against the publisher's key.
PackageCheck checkPackage(const QString& descriptorFile, const QString& archiveFile,
                          const signing::PublicKey& key);

// The detached signature of a file (its ".sig" file holds base64 of the 64 bytes).
bool checkDetachedSignature(const QString& file, const QString& signatureFile,
                            const signing::PublicKey& key);

}  // namespace selvanix
