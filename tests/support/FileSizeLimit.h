#pragma once

#include <functional>

namespace selvanix::test {

// Runs body in a child process whose files may not grow beyond maxBytes, so that writes fail
// for real (also for the superuser); returns the child's exit code, or -1 when it crashed.
int exitCodeUnderFileSizeLimit(long maxBytes, const std::function<int()>& body);

}  // namespace selvanix::test
