#pragma once

#include <QSize>

namespace selvanix::ui {

// The size of a window whose content is content, on a screen that leaves it room: the content
// itself when it fits; otherwise as much as fits, with room for the scroll bar (bar pixels)
// that each direction cut short needs.
QSize windowFit(QSize content, QSize room, int bar);

}  // namespace selvanix::ui
