#include "StopSignals.h"

namespace selvanix::cli {

StopSignals::StopSignals() {
    ::sigemptyset(&set_);
    ::sigaddset(&set_, SIGINT);
    ::sigaddset(&set_, SIGTERM);
    ::sigaddset(&set_, SIGUSR2);  // the destructor's wake-up
    ::pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    thread_ = std::thread([this] { wait(); });
}

StopSignals::~StopSignals() {
    done_ = true;
    ::pthread_kill(thread_.native_handle(), SIGUSR2);
    thread_.join();
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void StopSignals::wait() {
    while (!done_) {
        int received = 0;
        if (::sigwait(&set_, &received) != 0 || received == SIGUSR2) {
            continue;
        }
        signal_ = received;
        std::function<void()> handler;
        {
            const std::lock_guard guard(lock_);
            stopped_ = true;
            handler = handler_;
        }
        if (handler) {
            handler();
        }
    }
}

void StopSignals::onStop(std::function<void()> handler) {
    bool now = false;
    {
        const std::lock_guard guard(lock_);
        handler_ = handler;
        now = stopped_;
    }
    if (now && handler) {
        handler();
    }
}

}  // namespace selvanix::cli
