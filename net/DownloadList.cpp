#include "DownloadList.h"

#include <algorithm>
#include <chrono>

#include "DownloadThread.h"
#include "Tick.h"

namespace selvanix::net {

DownloadList::DownloadList() = default;

DownloadList::~DownloadList() {
    Terminate();
    WaitForEnd();
}

DownloadItem& DownloadList::Add(DownloadRequest request) {
    const std::lock_guard guard(FSem);
    items_.push_back(std::make_unique<DownloadItem>(*this, std::move(request)));
    return *items_.back();
}

void DownloadList::Clear() {
    const std::lock_guard guard(FSem);
    FProgressObj = nullptr;
    items_.clear();
}

int DownloadList::Count() const {
    return static_cast<int>(items_.size());
}

DownloadItem& DownloadList::Item(int index) const {
    return *items_.at(static_cast<std::size_t>(index));
}

DownloadList::ProgressHandler DownloadList::OnProgress() const {
    const std::lock_guard guard(handlerLock_);
    return FOnProgress;
}

DownloadList::ProcessedHandler DownloadList::OnProcessed() const {
    const std::lock_guard guard(handlerLock_);
    return FOnProcessed;
}

void DownloadList::SetOnProgress(ProgressHandler handler) {
    const std::lock_guard guard(handlerLock_);
    FOnProgress = std::move(handler);
}

void DownloadList::SetOnProcessed(ProcessedHandler handler) {
    const std::lock_guard guard(handlerLock_);
    FOnProcessed = std::move(handler);
}

void DownloadList::Process() {
    {
        const std::lock_guard guard(FSem);
        FAllSize = 0;
        FStartTime = 0;
        nextIndex_ = -1;
    }
    Terminated = false;
    try {
        if (!items_.empty()) {
            FState = DS_PROCESSING;
            if (pendingStop_.exchange(false)) {
                Terminated = true;
            }
            for (const auto& item : items_) {
                item->Prepare();
            }
            const int count = std::clamp(FServerThreads, 1, kMaxThreads);
            {
                const std::lock_guard guard(FSem);
                for (int i = 0; i < count; ++i) {
                    threads_.push_back(std::make_unique<DownloadThread>(*this));
                }
                for (const auto& thread : threads_) {
                    thread->Wake();
                }
            }
            const auto allFinished = [this] {
                return std::all_of(threads_.begin(), threads_.end(),
                                   [](const auto& t) { return t->Finished(); });
            };
            pumpUntil(allFinished);
        }
    } catch (...) {
        // The run ends the same way whatever went wrong inside it.
    }
    FState = DS_PROCESSED;
    freeThreads();
    notifyProcessed();
}

void DownloadList::freeThreads() {
    decltype(threads_) finished;
    {
        const std::lock_guard guard(FSem);
        finished.swap(threads_);
    }
    // Joined here, outside the lock: a late Terminate must not wait for them.
}

void DownloadList::notifyProcessed() {
    const ProcessedHandler handler = OnProcessed();
    if (!handler) {
        return;
    }
    try {
        sync_.Synchronize([&] { handler(*this); });
    } catch (...) {
        // A failing end handler must not take the run's thread down.
    }
}

DownloadItem* DownloadList::NextItem(DownloadThread& thread) {
    const std::lock_guard guard(FSem);
    if (!Terminated) {
        while (++nextIndex_ < static_cast<int>(items_.size())) {
            DownloadItem& item = *items_[static_cast<std::size_t>(nextIndex_)];
            if (item.FState == DS_NONE) {
                thread.idle_ = false;
                return &item;
            }
        }
        nextIndex_ = static_cast<int>(items_.size()) - 1;
    }
    thread.ResetWake();
    thread.idle_ = true;
    if (Terminated ||
        std::all_of(threads_.begin(), threads_.end(), [](const auto& t) { return t->idle_; })) {
        for (const auto& t : threads_) {
            t->Terminate();
            t->Wake();
        }
    }
    return nullptr;
}

void DownloadList::ThreadProcess() {
    WaitForEnd();
    pendingStop_ = false;
    processEnded_ = false;
    processThread_ = std::thread([this] {
        Process();
        processEnded_ = true;
        sync_.Wake();
    });
}

void DownloadList::WaitForEnd() {
    if (!processThread_.joinable()) {
        return;
    }
    // The run may be waiting for a notification that this thread has to serve.
    pumpUntil([this] { return processEnded_.load(); });
    processThread_.join();
}

void DownloadList::Terminate() {
    if (FState != DS_PROCESSING && processEnded_) {
        return;  // no run to stop
    }
    // Noted first and the state read after: either the starting run finds the note, or this
    // finds the run processing and stops it here.
    pendingStop_ = true;
    if (FState != DS_PROCESSING) {
        return;
    }
    Terminated = true;
    pendingStop_ = false;
    for (const auto& item : items_) {
        if (item->FState == DS_PROCESSING) {
            item->Terminate();
        }
    }
    const std::lock_guard guard(FSem);
    for (const auto& thread : threads_) {
        thread->Terminate();
        thread->Wake();
    }
}

void DownloadList::ContinueProcess() {
    const std::lock_guard guard(FSem);
    for (const auto& thread : threads_) {
        if (thread->idle_) {
            thread->idle_ = false;
            thread->Wake();
        }
    }
}

void DownloadList::ClearState() {
    DownloadState state = FState;
    if (state == DS_PROCESSED || state == DS_ERROR) {
        FState = DS_NONE;
    }
}

void DownloadList::SendProgress(DownloadItem& item) {
    const std::lock_guard guard(FSemP);
    FProgressObj = &item;
    const ProgressHandler handler = OnProgress();
    if (!handler || Terminated) {
        return;
    }
    try {
        sync_.Synchronize([&] { handler(item); });
    } catch (...) {
        // Notifications never stop a transfer by throwing.
    }
}

void DownloadList::SetOnCompleted(CompletedHandler handler) {
    const std::lock_guard guard(handlerLock_);
    onCompleted_ = std::move(handler);
}

void DownloadList::SendCompleted(DownloadItem& item) {
    CompletedHandler handler;
    {
        const std::lock_guard guard(handlerLock_);
        handler = onCompleted_;
    }
    if (handler) {
        handler(item);
    }
}

void DownloadList::SizeChanged(qint64 elapsedMs, qint64 bytes) {
    const std::lock_guard guard(FSem);
    FAllSize += bytes;
    if (FStartTime == 0) {
        FStartTime = tickCount() - elapsedMs;
    }
}

qint64 DownloadList::GetCPS() {
    const std::lock_guard guard(FSem);
    const long long now = tickCount();
    if (now == FStartTime) {
        return 0;
    }
    return static_cast<qint64>(static_cast<double>(FAllSize) /
                               static_cast<double>(now - FStartTime) * 1000.0);
}

qint64 DownloadList::AllSize() {
    const std::lock_guard guard(FSem);
    return FAllSize;
}

}  // namespace selvanix::net
