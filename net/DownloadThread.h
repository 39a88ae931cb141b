#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace selvanix::net {

class DownloadList;

// A worker of one run: takes the list's next item whenever woken, until terminated.
class DownloadThread {
public:
    explicit DownloadThread(DownloadList& list);
    DownloadThread(const DownloadThread&) = delete;
    DownloadThread& operator=(const DownloadThread&) = delete;
    ~DownloadThread();  // terminates and joins

    void Wake();
    void ResetWake();
    void Terminate();  // ends the loop at its next turn; wake it to make it look
    bool Finished() const { return finished_; }

private:
    friend class DownloadList;  // its FSem guards idle_
    void run();
    void waitForWake();

    DownloadList& list_;
    std::mutex wakeLock_;
    std::condition_variable wakeEvent_;
    bool woken_ = false;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    bool idle_ = false;
    std::thread thread_;
};

}  // namespace selvanix::net
