#include "WindowSize.h"

#include <QWidget>

namespace selvanix {

void setOuterSize(QWidget* window, int width, int height) {
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    window->resize(width - frame.width(), height - frame.height());
}

int pointsToPixels(int points) {
    return (points * 96 + 36) / 72;
}

}  // namespace selvanix
