#pragma once

#include <QString>
#include <vector>

#include "net/DownloadList.h"
#include "platform/ConnectedState.h"

namespace selvanix::test {

// One progress notification as the user-interface thread saw it.
struct Note {
    net::DownloadState state;
    bool header;
    quint64 dataSize;
    int progress;
    long long tick;
};

// Records the list's notifications and runs one item on the list's own threads.
class RecordingList {
public:
    RecordingList();
    net::DownloadItem& run(const QString& url, qint64 rangeStart = 0, qint64 rangeEnd = 0);

    net::DownloadList list;
    std::vector<Note> notes;
    int processedCalls = 0;
};

// Installs an answer for the "connected" query for the life of the object.
class ConnectedAnswer {
public:
    explicit ConnectedAnswer(bool connected) {
        platform::setConnectedStateQuery([connected] { return connected; });
    }
    ConnectedAnswer(const ConnectedAnswer&) = delete;
    ConnectedAnswer& operator=(const ConnectedAnswer&) = delete;
    ~ConnectedAnswer() { platform::setConnectedStateQuery({}); }
};

}  // namespace selvanix::test
