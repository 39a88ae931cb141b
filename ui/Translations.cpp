#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace selvanix::ui {

QTranslator* installToolkitTranslations(QCoreApplication& app, const QLocale& locale) {
    if (locale.language() != QLocale::Czech) {
        return nullptr;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get())) {
        return nullptr;
    }
    translator->setParent(&app);
    return translator.release();
}

}  // namespace selvanix::ui
