#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace selvanix {

namespace net {
class BodyAssembly;
class WebHTTPGet;
}  // namespace net

// One file the run fetches into a folder.
struct FetchRequest {
    QString url;
    QString folder;        // installer path, ending in a separator
    QString name;          // saved as folder + name; an older file of that name goes first
    qint64 sizeLimit = 0;  // 0: no limit
    bool resume = false;   // a part left by a stopped fetch is continued
    std::shared_ptr<net::BodyAssembly> assembly{};  // builds the body from what is kept, if any
    bool quiet = false;  // nothing shown: a file whose absence is the usual case
};

// What came of it. Only a saved file is there; nothing needs to look again.
struct FetchResult {
    bool saved = false;
    bool complete = false;  // saved, and the whole body arrived without an error
    bool cancelled = false;
    qint64 size = 0;
    qint64 reused = 0;  // bytes that came from what was kept rather than the server
    QString problem;    // why nothing was saved, in the run's words
};

// How far a fetch has come, told on the run's own thread.
struct FetchProgress {
    qint64 received = 0;
    qint64 total = 0;  // 0 until the server announced it, or when it never does
};
using FetchProgressHandler = std::function<void(const FetchProgress&)>;

// How the run fetches: a blocking call on the run's own thread, while the transfer has
// threads of its own.
class Fetcher {
public:
    virtual ~Fetcher() = default;
    virtual FetchResult fetch(const FetchRequest& request,
                              const FetchProgressHandler& progress) = 0;
    // From any thread: the fetch under way ends as cancelled.
    virtual void stop() = 0;
};

// A fetch over HTTP through the download component, one exchange: the request goes onto the
// component, the transfer to transfer() (the command line runs it, the window shows it in
// its download window), and the result is read back once.
class HttpFetcher : public Fetcher {
public:
    explicit HttpFetcher(net::WebHTTPGet& get) : get_(get) {}
    FetchResult fetch(const FetchRequest& request, const FetchProgressHandler& progress) final;
    void stop() final;

protected:
    // Runs the transfer the component is set up for; false when the user cancelled it.
    virtual bool transfer(net::WebHTTPGet& get) = 0;

private:
    net::WebHTTPGet& get_;
};

// A small file fetched quietly under a name of this run's own in folder (another run may
// fetch the same file at the same time), read once within bound and removed at once.
struct FetchedBytes {
    FetchResult result;
    std::optional<QByteArray> bytes;  // when it was saved and is within bound
};
FetchedBytes fetchSmallFile(Fetcher& fetcher, const QString& url, const QString& folder,
                            qint64 bound);

class RunObserver;

// A fetch the observer is told of: its start, then its progress.
FetchResult fetchShown(Fetcher& fetcher, RunObserver& observer, const FetchRequest& request);

}  // namespace selvanix
