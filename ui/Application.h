#pragma once

#include <QApplication>

namespace selvanix::ui {

// The application object: an error that escapes any handler is shown in the standard error
// report, and the program goes on.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace selvanix::ui
