#pragma once

#include <functional>

namespace selvanix::test {

// Runs body in a child process whose files may not grow beyond maxBytes, so that writes fail
// for real (also for the superuser); returns the child's exit code, or -1 when it crashed.
// Unless ignoreSignal is set the child keeps the system's file-size signal, which kills it
// unless body itself ignores the signal.
int exitCodeUnderFileSizeLimit(long maxBytes, const std::function<int()>& body,
                               bool ignoreSignal = true);

}  // namespace selvanix::test
