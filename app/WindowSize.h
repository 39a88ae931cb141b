#pragma once

class QWidget;

namespace selvanix {

// Sizes a top-level window by its outer size, frame included.
void setOuterSize(QWidget* window, int width, int height);

// A font size in points, as the window's handlers give it, in pixels of a 96-dpi screen.
int pointsToPixels(int points);

}  // namespace selvanix
