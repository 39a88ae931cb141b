#include "Fetcher.h"
#include "platform/handles/File.h"
#include "platform/handles/StagedFile.h"

#include "FailureDetail.h"
#include "RunObserver.h"
#include "net/WebHTTPGet.h"
#include "platform/FileOps.h"

namespace selvanix {

namespace {

// The component keeps what it is set to: the next fetch starts from none of this one.
class OneFetch {
public:
    OneFetch(net::WebHTTPGet& get, const FetchRequest& request,
             const FetchProgressHandler& progress)
        : get_(get) {
        get_.Resume = request.resume;
        get_.DownloadDir = request.folder;
        get_.URL = request.url;
        get_.DestinationName = request.name;
        get_.DownloadParams.SizeLimit = request.sizeLimit;
        get_.AssembleNextFrom(request.assembly);
        if (progress) {
            get_.OnProgress = [&progress](net::WebHTTPGet& get, net::DownloadItem& item) {
                told(get, item, progress);
            };
        }
    }
    OneFetch(const OneFetch&) = delete;
    OneFetch& operator=(const OneFetch&) = delete;
    ~OneFetch() {
        get_.DownloadParams.SizeLimit = 0;
        get_.AssembleNextFrom(nullptr);
        get_.OnProgress = nullptr;
    }

private:
    // The head announces the total, the body counts up to it; a finished body has been handed
    // to the component by the time this runs.
    static void told(const net::WebHTTPGet& get, const net::DownloadItem& item,
                     const FetchProgressHandler& progress) {
        if (&item != get.FileDownloader()) {
            return;
        }
        if (item.State() == net::DS_PROCESSED) {
            const auto size = static_cast<qint64>(get.DataSize());
            progress({size, size});
        } else if (item.State() == net::DS_PROCESSING) {
            const qint64 total = item.AnnouncedSize();
            progress({item.HeaderLoaded() ? 0 : static_cast<qint64>(item.DataSize()), total});
        }
    }

    net::WebHTTPGet& get_;
};

}  // namespace

FetchResult HttpFetcher::fetch(const FetchRequest& request, const FetchProgressHandler& progress) {
    const OneFetch fetch(get_, request, progress);
    platform::deleteFile(request.folder + request.name);
    bool finished = true;
    if (request.quiet) {
        get_.Process(false, false);
    } else {
        finished = transfer(get_);
    }
    const net::DownloadResult done = get_.Result();
    FetchResult result;
    // A portal's page saved beside it under another name is not the file.
    result.saved = done.saved && done.name == request.name;
    result.cancelled = !finished;
    result.size = done.size;
    result.reused = done.reused;
    const net::DownloadItem* item = get_.FileDownloader();
    result.complete = result.saved && item && item->State() == net::DS_PROCESSED &&
                      item->Error() == 0 && get_.DataSize() > 0;
    if (!result.complete) {
        result.problem = downloadFailure(get_, finished, request.name);
    }
    return result;
}

void HttpFetcher::stop() {
    get_.Stop();
}

FetchResult fetchShown(Fetcher& fetcher, RunObserver& observer, const FetchRequest& request) {
    observer.downloadStarted(request.url, request.name);
    return fetcher.fetch(request, [&](const FetchProgress& progress) {
        observer.downloadProgress(request.name, progress.received, progress.total);
    });
}

FetchedBytes fetchSmallFile(Fetcher& fetcher, const QString& url, const QString& folder,
                            qint64 bound) {
    const QString leaf = url.mid(url.lastIndexOf(u'/') + 1);
    const QString saved =
        QString::fromLatin1(platform::temporaryName(leaf.toUtf8(), platform::randomTag()));
    FetchedBytes fetched{
        fetcher.fetch(
            {.url = url, .folder = folder, .name = saved, .sizeLimit = bound, .quiet = true}, {}),
        std::nullopt};
    if (fetched.result.saved) {
        fetched.bytes = platform::File::readWithin(folder + saved, bound);
    }
    platform::deleteFile(folder + saved);
    return fetched;
}

}  // namespace selvanix
