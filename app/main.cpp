#include "TFrDRozbal.h"
#include "cli/Commands.h"
#include "platform/ProcessSignals.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    selvanix::platform::ignoreFileSizeSignal();
    // Any argument is a command: it runs without a display.
    if (const std::optional<int> code = selvanix::cli::runCommandLine(argc, argv)) {
        return *code;
    }
    selvanix::ui::Application app(argc, argv);
    selvanix::TFrDRozbal window;
    window.show();
    return app.exec();
}
