#include "FaultPoint.h"

#include <signal.h>
#include <unistd.h>
#include <atomic>
#include <cstdlib>

namespace selvanix::platform {

namespace {

long killAt() {
    const char* value = std::getenv("SELVANIX_KILL_AT");
    return value ? std::strtol(value, nullptr, 10) : 0;
}

}  // namespace

void fileStep() noexcept {
    static const long at = killAt();
    static std::atomic<long> steps{0};
    if (at > 0 && steps.fetch_add(1, std::memory_order_relaxed) + 1 == at) {
        ::kill(::getpid(), SIGKILL);
    }
}

}  // namespace selvanix::platform
