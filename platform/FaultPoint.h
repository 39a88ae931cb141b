#pragma once

namespace selvanix::platform {

// One step that changes a file on disk (a file made, a block written, a rename). Tests that
// prove a kill at any step loses nothing set SELVANIX_KILL_AT=N: the process then kills
// itself at its Nth step. Unset, a step costs one relaxed load.
void fileStep() noexcept;

}  // namespace selvanix::platform
