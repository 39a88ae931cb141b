#include "TFrDRozbal.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    selvanix::ui::Application app(argc, argv);
    selvanix::TFrDRozbal window;
    window.show();
    return app.exec();
}
