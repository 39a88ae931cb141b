// The points where tests steer a run through the environment. Only test executables hold
// them: linked as objects, these definitions come before the shipped ones in the platform
// library, which do nothing.
#include "platform/FaultPoint.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

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

void pausePoint(const char* name) noexcept {
    static std::atomic<bool> paused{false};
    const char* at = std::getenv("SELVANIX_PAUSE_AT");
    const char* folder = std::getenv("SELVANIX_PAUSE_DIR");
    if (!at || !folder || std::string(at) != name || paused.exchange(true)) {
        return;
    }
    const std::string base = std::string(folder) + '/' + name;
    const int fd = ::open((base + ".reached").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
    for (int i = 0; i < 6000 && ::access((base + ".go").c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::chrono::milliseconds lockWait(std::chrono::milliseconds usual) noexcept {
    const char* value = std::getenv("SELVANIX_LOCK_WAIT_MS");
    return value ? std::chrono::milliseconds(std::strtol(value, nullptr, 10)) : usual;
}

const char* machineIdFile(const char* usual) noexcept {
    const char* value = std::getenv("SELVANIX_MACHINE_ID_FILE");
    return value ? value : usual;
}

}  // namespace selvanix::platform
