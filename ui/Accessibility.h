#pragma once

namespace selvanix::ui {

// How screen readers read our widgets, installed once before the first window shows: a window
// of our own reads as a frame, and a banner line with no text is a spacer they pass by.
void installAccessibility();

}  // namespace selvanix::ui
