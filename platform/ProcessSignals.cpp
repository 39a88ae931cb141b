#include "ProcessSignals.h"

#include <csignal>

namespace selvanix::platform {

void ignoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace selvanix::platform
