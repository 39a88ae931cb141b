#include "PackageDescriptor.h"

#include "SettingsFile.h"
#include "platform/handles/File.h"
#include "profile/PrivateProfile.h"
#include "profile/ProfileText.h"

namespace selvanix {

PackageDescriptor parsePackageDescriptor(const QByteArray& bytes) {
    PackageDescriptor descriptor;
    const ProfileText text = ProfileText::decode(bytes);
    const QString section = QString::fromUtf16(kDefiniceSection);
    const std::pair<const char16_t*, std::optional<QString>*> known[] = {
        {u"hledany", &descriptor.hledany}, {u"nazev", &descriptor.nazev},
        {u"verze", &descriptor.verze},     {u"datum", &descriptor.datum},
        {u"run", &descriptor.run},         {u"platnost", &descriptor.platnost},
        {u"podpis", &descriptor.podpis},   {u"archiv", &descriptor.archiv},
    };
    for (const QString& key : text.keys(section)) {
        for (const auto& [name, value] : known) {
            if (key == QStringView(name)) {
                *value = text.value(section, key).value_or(QString());
            }
        }
    }
    return descriptor;
}

PackageDescriptor readPackageDescriptor(const QString& fileName) {
    const std::optional<QByteArray> bytes = platform::File::readWithin(fileName, kMaxProfileBytes);
    return bytes ? parsePackageDescriptor(*bytes) : PackageDescriptor{};
}

}  // namespace selvanix
