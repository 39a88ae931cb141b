#include "Package.h"
#include "config/PackageSignature.h"

#include "ProductTable.h"

namespace selvanix {

PackageNames PackageNames::of(int product, const QString& channel) {
    const Product* row = productByCode(product);
    if (!row) {
        return {};
    }
    const QString stem = QString::fromUtf16(row->stem);
    return {stem, QString::fromUtf16(row->descriptorName), QString::fromUtf16(row->archiveName),
            selvanix::signedStem(stem, channel)};
}

PackageInfo packageInfo(const PackageDescriptor& descriptor) {
    return {descriptor.hledany.value_or(QString()), descriptor.nazev.value_or(QString()),
            descriptor.verze.value_or(QString()), descriptor.datum.value_or(QString()),
            descriptor.run.value_or(QString())};
}

PackageInfo Package::info() const {
    return packageInfo(descriptor);
}

Manifest Package::record() const {
    Manifest m;
    m.stem = names.stem;
    m.name = descriptor.nazev.value_or(QString());
    m.version = descriptor.verze.value_or(QString());
    m.date = descriptor.datum.value_or(QString());
    m.sha256 = sha256;
    return m;
}

}  // namespace selvanix
