#pragma once

#include <QtGlobal>

namespace selvanix::cli {

// Whether the window may find a display: an X11 or Wayland display is named, or another Qt
// platform is chosen (QT_QPA_PLATFORM).
bool displayNamed();

// Tells the user that the window needs a display and that the command line needs none.
void reportNoDisplay();

// While it lives, a display that cannot be opened ends the program with the usage error's code
// and that report, not with Qt's abort and its advice to reinstall.
class DisplayRequired {
public:
    DisplayRequired();
    ~DisplayRequired();
    DisplayRequired(const DisplayRequired&) = delete;
    DisplayRequired& operator=(const DisplayRequired&) = delete;

private:
    QtMessageHandler previous_;
};

}  // namespace selvanix::cli
