#pragma once

#include <QLocale>

class QCoreApplication;
class QTranslator;

namespace selvanix::ui {

// Under a Czech locale the toolkit's own texts (the folder browser, the standard buttons of
// message boxes) come from Qt's Czech translations, when they are installed. The translator,
// owned by the application, or none.
QTranslator* installToolkitTranslations(QCoreApplication& app, const QLocale& locale);

}  // namespace selvanix::ui
