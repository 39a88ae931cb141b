#include "DownloadThread.h"

#include "DownloadItem.h"
#include "DownloadList.h"

namespace selvanix::net {

DownloadThread::DownloadThread(DownloadList& list) : list_(list), thread_([this] { run(); }) {}

DownloadThread::~DownloadThread() {
    Terminate();
    Wake();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DownloadThread::Wake() {
    {
        const std::lock_guard guard(wakeLock_);
        woken_ = true;
    }
    wakeEvent_.notify_one();
}

void DownloadThread::Terminate() {
    terminated_ = true;
}

void DownloadThread::waitForWake() {
    std::unique_lock guard(wakeLock_);
    wakeEvent_.wait(guard, [this] { return woken_; });
}

void DownloadThread::ResetWake() {
    const std::lock_guard guard(wakeLock_);
    woken_ = false;
}

void DownloadThread::run() {
    while (!terminated_) {
        waitForWake();
        if (terminated_) {
            break;
        }
        DownloadItem* item = list_.NextItem(*this);
        if (item && !item->IsTerminated()) {
            try {
                item->Process();
            } catch (...) {
                // A failed item must not end the worker; its state tells what happened.
            }
        }
    }
    finished_ = true;
}

}  // namespace selvanix::net
