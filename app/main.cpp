#include "ui/Application.h"

#include <QWidget>

int main(int argc, char** argv) {
    selvanix::ui::Application app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Instalace programu"));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
