#include "TFrDRozbal.h"
#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/NoDisplay.h"
#include "platform/Places.h"
#include "platform/ProcessSignals.h"
#include "ui/Application.h"

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    selvanix::platform::ignoreFileSizeSignal();
    // Any argument is a command: it runs without a display.
    if (const std::optional<int> code = selvanix::cli::runCommandLine(argc, argv)) {
        return *code;
    }
    if (const std::optional<QString> problem = selvanix::platform::placesProblem()) {
        std::fprintf(stderr, "selvanix: %s\n", problem->toUtf8().constData());
        return 2;
    }
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const auto choice = selvanix::cli::parseWindowArguments(arguments);
    if (const auto* error = std::get_if<selvanix::cli::UsageError>(&choice)) {
        std::fprintf(stderr, "selvanix: %s (see selvanix --help)\n",
                     error->message.toUtf8().constData());
        return 2;
    }
    if (!selvanix::cli::displayNamed()) {
        selvanix::cli::reportNoDisplay();
        return selvanix::cli::kUsage;
    }
    const auto app = [&] {
        const selvanix::cli::DisplayRequired display;
        return std::make_unique<selvanix::ui::Application>(argc, argv);
    }();
    selvanix::TFrDRozbal window;
    if (!arguments.isEmpty()) {
        const auto& chosen = std::get<selvanix::cli::WindowChoice>(choice);
        window.preselect(chosen.product, chosen.target);
    }
    window.show();
    return app->exec();
}
