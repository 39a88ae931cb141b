#pragma once

class QWidget;

namespace selvanix::ui {

// Lays out every widget whose layout waits for the event loop. A step that runs without the
// event loop calls it before it measures, scrolls or paints what the layouts place.
void layOutNow();

// Paints widget at once as laid out: without the event loop a changed screen would otherwise
// show its old geometry until the step ends.
void paintNow(QWidget* widget);

}  // namespace selvanix::ui
