#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "DownloadItem.h"
#include "DownloadState.h"
#include "InternetOptions.h"
#include "SyncObject.h"

namespace selvanix::net {

class DownloadThread;

// Items fetched by worker threads; notifications reach the thread that created the list
// through its SyncObject. Create and drive it from the user-interface thread.
class DownloadList {
public:
    using ProgressHandler = std::function<void(DownloadItem&)>;
    using ProcessedHandler = std::function<void(DownloadList&)>;
    // Runs on the item's own thread the moment its transfer ended well or badly (not when
    // stopped), before anyone is told: the place to keep its body.
    using CompletedHandler = std::function<void(DownloadItem&)>;

    static constexpr int kMaxThreads = 30;

    DownloadList();
    DownloadList(const DownloadList&) = delete;
    DownloadList& operator=(const DownloadList&) = delete;
    ~DownloadList();  // stops a run and waits for its end

    DownloadItem& Add(DownloadRequest request = {});
    void Clear();  // removes every item; only between runs
    int Count() const;
    DownloadItem& Item(int index) const;

    void Process();        // the run, on the calling thread
    void ThreadProcess();  // the run, on a new background thread
    void Terminate();
    void ContinueProcess();
    void ClearState();
    void WaitForEnd();

    void SendProgress(DownloadItem& item);
    void SendCompleted(DownloadItem& item);
    void SizeChanged(qint64 elapsedMs, qint64 bytes);
    qint64 GetCPS();

    DownloadState State() const { return FState; }
    bool IsTerminated() const { return Terminated; }
    qint64 AllSize();
    DownloadItem* ProgressObj() const { return FProgressObj; }

    ProgressHandler OnProgress() const;
    ProcessedHandler OnProcessed() const;
    void SetOnProgress(ProgressHandler handler);
    void SetOnProcessed(ProcessedHandler handler);
    void SetOnCompleted(CompletedHandler handler);

    TInternetOptions InternetOptions;
    int FServerThreads = 8;
    bool FReload = false;

private:
    friend class DownloadThread;
    DownloadItem* NextItem(DownloadThread& thread);
    void freeThreads();
    void notifyProcessed();

    std::vector<std::unique_ptr<DownloadItem>> items_;
    std::atomic<DownloadState> FState{DS_NONE};
    std::atomic<bool> Terminated{false};
    std::mutex FSem;   // items, statistics, the choice of the next item
    std::mutex FSemP;  // one progress notification at a time
    mutable std::mutex handlerLock_;
    ProgressHandler FOnProgress;
    ProcessedHandler FOnProcessed;
    CompletedHandler onCompleted_;
    std::vector<std::unique_ptr<DownloadThread>> threads_;
    int nextIndex_ = -1;
    qint64 FAllSize = 0;
    long long FStartTime = 0;
    DownloadItem* FProgressObj = nullptr;
    SyncObject sync_;
    std::thread processThread_;
    std::atomic<bool> processEnded_{true};
    std::atomic<bool> pendingStop_{false};  // a stop asked for before the run got going
};

}  // namespace selvanix::net
