#include "Application.h"

#include "Look.h"
#include "Translations.h"
#include "WidgetDialogs.h"
#include "platform/ErrorReport.h"

#include <QIcon>

namespace selvanix::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf16(platform::kApplicationTitle));
    // The desktop finds the menu entry, and with it the icon, by this name.
    setDesktopFileName(QStringLiteral("org.selvanix.Selvanix"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("selvanix")));
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
