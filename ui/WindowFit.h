#pragma once

#include <QSize>

namespace selvanix::ui {

// How a window shows content on a screen that leaves it room.
struct WindowFit {
    QSize size;           // the window's inside
    bool across = false;  // the content scrolls sideways
    bool down = false;    // the content scrolls up and down
};

// The content itself when it fits; otherwise as much as fits, with room for the scroll bar
// (bar pixels) that each direction cut short needs.
WindowFit windowFit(QSize content, QSize room, int bar);

}  // namespace selvanix::ui
