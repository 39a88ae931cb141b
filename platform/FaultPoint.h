#pragma once

#include <chrono>

namespace selvanix::platform {

// Points where tests steer a run. In the shipped program they do nothing; test executables
// (and selvanix-hooked, the program as the tests run it) define them as follows.

// One step that changes a file on disk (a file made, a block written, a rename). Tests that
// prove a kill at any step loses nothing set SELVANIX_KILL_AT=N: the process then kills
// itself at its Nth step.
void fileStep() noexcept;

// A named moment of a run where a test holds the process to start a second one beside it:
// with SELVANIX_PAUSE_AT=name and SELVANIX_PAUSE_DIR=folder, the first time the process gets
// there it makes folder/name.reached and waits (at most a minute) until folder/name.go exists.
void pausePoint(const char* name) noexcept;

// How long a run waits for a lock another run holds: the given time, or the milliseconds of
// SELVANIX_LOCK_WAIT_MS when set, so a test of many meetings need not wait the whole time.
std::chrono::milliseconds lockWait(std::chrono::milliseconds usual) noexcept;

// The file the machine's id is read from: usual, or SELVANIX_MACHINE_ID_FILE when set, so a
// test can place a machine in a rollout.
const char* machineIdFile(const char* usual) noexcept;

}  // namespace selvanix::platform
