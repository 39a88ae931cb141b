#include "TFrDRozbal.h"
#include "platform/ProcessSignals.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    selvanix::platform::ignoreFileSizeSignal();
    selvanix::ui::Application app(argc, argv);
    selvanix::TFrDRozbal window;
    window.show();
    return app.exec();
}
