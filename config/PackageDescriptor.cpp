#include "PackageDescriptor.h"

#include "SettingsFile.h"
#include "platform/Paths.h"
#include "profile/PrivateProfile.h"
#include "profile/ProfileText.h"

#include <QFile>

namespace selvanix {

PackageDescriptor parsePackageDescriptor(const QByteArray& bytes) {
    PackageDescriptor descriptor;
    const ProfileText text = ProfileText::decode(bytes);
    const QString section = QString::fromUtf16(kDefiniceSection);
    const std::pair<const char16_t*, std::optional<QString>*> known[] = {
        {u"hledany", &descriptor.hledany}, {u"nazev", &descriptor.nazev},
        {u"verze", &descriptor.verze},     {u"datum", &descriptor.datum},
        {u"run", &descriptor.run},         {u"platnost", &descriptor.platnost},
        {u"podpis", &descriptor.podpis},
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
    QFile file(platform::toHostPath(fileName));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.read(kMaxProfileBytes + 1);
    return bytes.size() > kMaxProfileBytes ? PackageDescriptor{} : parsePackageDescriptor(bytes);
}

}  // namespace selvanix
