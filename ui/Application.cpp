#include "Application.h"

#include "Look.h"
#include "Translations.h"
#include "WidgetDialogs.h"
#include "platform/ErrorReport.h"

namespace selvanix::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf16(platform::kApplicationTitle));
    installFontSubstitutes();
    installToolkitTranslations(*this, QLocale::system());
    platform::setDialogs(std::make_shared<WidgetDialogs>());
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        platform::reportError(error);
    } catch (...) {
        platform::reportError(QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace selvanix::ui
