#include "NetTesting.h"

#include "net/Tick.h"

namespace selvanix::test {

RecordingList::RecordingList() {
    list.FServerThreads = 1;
    list.SetOnProgress([this](net::DownloadItem& item) {
        notes.push_back({item.State(), item.HeaderLoaded(), item.DataSize(), item.Progress(),
                         net::tickCount()});
    });
    list.SetOnProcessed([this](net::DownloadList&) { ++processedCalls; });
}

net::DownloadItem& RecordingList::run(const QString& url, qint64 rangeStart, qint64 rangeEnd) {
    list.Clear();
    net::DownloadItem& item =
        list.Add({.url = url, .rangeStart = rangeStart, .rangeEnd = rangeEnd});
    notes.clear();
    list.ThreadProcess();
    list.WaitForEnd();
    return item;
}

}  // namespace selvanix::test
