#pragma once

#include <chrono>

namespace selvanix::platform {

// One step that changes a file on disk (a file made, a block written, a rename). Tests that
// prove a kill at any step loses nothing set SELVANIX_KILL_AT=N: the process then kills
// itself at its Nth step. Unset, a step costs one relaxed load.
void fileStep() noexcept;

// A named moment of a run where a test holds the process to start a second one beside it.
// Only builds with SELVANIX_TEST_POINTS have them: with SELVANIX_PAUSE_AT=name and
// SELVANIX_PAUSE_DIR=folder, the first time the process gets there it makes folder/name.reached
// and waits (at most a minute) until folder/name.go exists. Elsewhere it does nothing.
void pausePoint(const char* name) noexcept;

// How long a run waits for a lock another run holds: the given time, or in builds with
// SELVANIX_TEST_POINTS the milliseconds of SELVANIX_LOCK_WAIT_MS when set, so a test of many
// meetings need not wait the whole time in each.
std::chrono::milliseconds lockWait(std::chrono::milliseconds usual) noexcept;

}  // namespace selvanix::platform
