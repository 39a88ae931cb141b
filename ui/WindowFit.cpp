#include "WindowFit.h"

#include <algorithm>

namespace selvanix::ui {

WindowFit windowFit(QSize content, QSize room, int bar) {
    bool across = content.width() > room.width();
    bool down = content.height() > room.height();
    // A bar takes room from the other direction, which may then need its own bar too.
    for (int pass = 0; pass < 2; ++pass) {
        across = across || (down && content.width() + bar > room.width());
        down = down || (across && content.height() + bar > room.height());
    }
    return {{std::min(room.width(), content.width() + (down ? bar : 0)),
             std::min(room.height(), content.height() + (across ? bar : 0))},
            across,
            down};
}

}  // namespace selvanix::ui
