#include "RunRequest.h"

#include <QDate>
#include <QLocale>

namespace selvanix {

QString RunRequest::packageUrl() const {
    return channel.isEmpty() || channel == u"stable" ? baseUrl : baseUrl + channel + u'/';
}

SettingsToWrite RunRequest::settingsFor(const QString& target,
                                        const QString& packageFolderNow) const {
    SettingsToWrite settings;
    settings.program = product;
    settings.source = static_cast<int>(source);
    settings.packageFolder = packageFolderNow;
    settings.targetMode = static_cast<int>(targetMode);
    settings.targets = fields;
    if (!target.isEmpty()) {
        settings.targets[0] = target;
    }
    settings.koukani = koukani;
    settings.automaticky = automaticky;
    settings.date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    return settings;
}

}  // namespace selvanix
