#pragma once

namespace selvanix {

// A font size in points, as the window's handlers give it, in pixels of a 96-dpi screen.
int pointsToPixels(int points);

}  // namespace selvanix
