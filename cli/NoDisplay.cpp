#include "NoDisplay.h"

#include "ExitCode.h"
#include "Language.h"

#include <QString>
#include <cstdio>
#include <cstdlib>

namespace selvanix::cli {

namespace {

QtMessageHandler qtHandler = nullptr;

void stopWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        reportNoDisplay();
        std::_Exit(kUsage);
    }
    // The platform plugin's own account of the failure ends in that advice; ours replaces it.
    if (context.category != nullptr &&
        QLatin1String(context.category).startsWith(QLatin1String("qt.qpa"))) {
        return;
    }
    if (qtHandler != nullptr) {
        qtHandler(type, context, text);
    }
}

bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool displayNamed() {
    return named("DISPLAY") || named("WAYLAND_DISPLAY") || named("QT_QPA_PLATFORM");
}

void reportNoDisplay() {
    const char* display = std::getenv("DISPLAY");
    const QString named = display != nullptr && *display != '\0'
                              ? say(u" (%1 does not answer)", u" (%1 neodpovídá)")
                                    .arg(QString::fromLocal8Bit(display))
                              : QString();
    std::fprintf(stderr, "selvanix: %s\n",
                 say(u"no display%1: the window needs an X11 or Wayland display (DISPLAY or "
                     u"WAYLAND_DISPLAY); without one, use the command line (see selvanix --help)",
                     u"není k dispozici displej%1: okno potřebuje displej X11 nebo Wayland "
                     u"(DISPLAY nebo WAYLAND_DISPLAY); bez něj použijte příkazovou řádku (viz "
                     u"selvanix --help)")
                     .arg(named)
                     .toUtf8()
                     .constData());
}

DisplayRequired::DisplayRequired() : previous_(qInstallMessageHandler(stopWithoutDisplay)) {
    qtHandler = previous_;
}

DisplayRequired::~DisplayRequired() {
    qInstallMessageHandler(previous_);
    qtHandler = nullptr;
}

}  // namespace selvanix::cli
