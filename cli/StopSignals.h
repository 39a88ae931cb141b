#pragma once

#include <pthread.h>
#include <signal.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace selvanix::cli {

// SIGINT and SIGTERM, taken by a thread of their own: made before any other thread, so every
// later thread has them blocked. The handler runs on that thread, never inside a signal.
class StopSignals {
public:
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    ~StopSignals();

    // Runs at the first signal, or at once when one came already.
    void onStop(std::function<void()> handler);
    const std::atomic<bool>& stopped() const { return stopped_; }
    int signalNumber() const { return signal_.load(); }

private:
    void wait();

    sigset_t set_{};
    sigset_t previous_{};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> signal_{0};
    std::mutex lock_;
    std::function<void()> handler_;
    std::thread thread_;
};

}  // namespace selvanix::cli
