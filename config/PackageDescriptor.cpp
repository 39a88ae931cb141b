#include "PackageDescriptor.h"

#include "SettingsFile.h"
#include "profile/IniFile.h"

namespace selvanix {

PackageDescriptor readPackageDescriptor(const QString& fileName) {
    PackageDescriptor descriptor;
    QStringList lines;
    TIniFile(fileName).ReadSectionValues(QString::fromUtf16(kDefiniceSection), lines);
    for (const QString& line : lines) {
        const auto [key, value] = splitEntry(line);
        if (key == u"hledany") {
            descriptor.hledany = value;
        } else if (key == u"nazev") {
            descriptor.nazev = value;
        } else if (key == u"verze") {
            descriptor.verze = value;
        } else if (key == u"datum") {
            descriptor.datum = value;
        } else if (key == u"run") {
            descriptor.run = value;
        } else if (key == u"podpis") {
            descriptor.podpis = value;
        }
    }
    return descriptor;
}

}  // namespace selvanix
