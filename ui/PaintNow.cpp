#include "PaintNow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace selvanix::ui {

void layOutNow() {
    // Requests that laying out posts are taken in the same call.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void paintNow(QWidget* widget) {
    layOutNow();
    widget->repaint();
}

}  // namespace selvanix::ui
