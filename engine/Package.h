#pragma once

#include "RunRequest.h"
#include "config/PackageDescriptor.h"
#include "delta/DeltaApply.h"
#include "platform/handles/File.h"
#include "store/Manifest.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace selvanix {

// The file names of a product's package; empty for a code without a product.
struct PackageNames {
    QString stem;
    QString descriptor;
    QString archive;
    QString signedStem{};  // what its signatures name: the stem, and a channel but stable
    static PackageNames of(int product, const QString& channel = {});
};

// What the two downloads of a package left in the installer's folder.
struct PackageFetched {
    bool descriptor = false;
    bool archive = false;
    QString problem;  // the first download that left no file, and why
    // The descriptor as read once, the moment it was saved; the run checks this value.
    std::optional<PackageDescriptor> read{};
};

// A delta fetched for the archive's assembly, and the bytes it cost (with its index).
struct DeltaFetched {
    std::shared_ptr<const VerifiedDelta> delta{};
    qint64 bytes = 0;
};

// Where the run found the package, and its descriptor when the fetch has read it already.
struct PackageLocation {
    QString folder;
    std::optional<PackageDescriptor> descriptor{};
};

// The package as the run checked it. Every later step takes this value: what was checked is
// what is shown, extracted, recorded and started, whatever the files by its name hold now.
struct Package {
    PackageNames names;
    QString folder;  // where the descriptor and the archive were found
    PackageDescriptor descriptor;
    std::shared_ptr<const platform::File> archive;  // open; the bytes that were hashed
    QByteArray sha256;                              // lowercase hex

    QString descriptorPath() const { return folder + u'\\' + names.descriptor; }
    QString archivePath() const { return folder + u'\\' + names.archive; }
    PackageInfo info() const;
    // A target's record of this package, before its files are listed.
    Manifest record() const;
};

PackageInfo packageInfo(const PackageDescriptor& descriptor);

}  // namespace selvanix
