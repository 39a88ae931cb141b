#include "FileSizeLimit.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace selvanix::test {

int exitCodeUnderFileSizeLimit(long maxBytes, const std::function<int()>& body, bool ignoreSignal) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        ::signal(SIGXFSZ, ignoreSignal ? SIG_IGN : SIG_DFL);
        const rlimit limit{static_cast<rlim_t>(maxBytes), static_cast<rlim_t>(maxBytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int code = 3;
        try {
            code = body();
        } catch (...) {
            code = 4;
        }
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace selvanix::test
