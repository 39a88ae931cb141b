#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>

namespace selvanix::test {

// AddressSanitizer keeps freed memory in its quarantine, so peak memory says nothing there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPeakMemoryMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kPeakMemoryMeaningful = false;
#else
inline constexpr bool kPeakMemoryMeaningful = true;
#endif
#else
inline constexpr bool kPeakMemoryMeaningful = true;
#endif

// Runs work in a child process, so its peak memory is its own: 0 when it succeeded within
// allowedMiB more than the child began with, 1 when it failed, 2 when it took more memory.
inline int inChildWithin(long allowedMiB, const std::function<bool()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        const bool done = work();
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        const long grownMiB = (after.ru_maxrss - before.ru_maxrss) / 1024;
        ::_exit(!done ? 1 : (kPeakMemoryMeaningful && grownMiB > allowedMiB) ? 2 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace selvanix::test
