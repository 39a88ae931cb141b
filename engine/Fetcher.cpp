#include "Fetcher.h"

#include "FailureDetail.h"
#include "net/WebHTTPGet.h"
#include "platform/FileOps.h"

namespace selvanix {

FetchResult HttpFetcher::fetch(const FetchRequest& request) {
    get_.Resume = request.resume;
    get_.DownloadDir = request.folder;
    get_.URL = request.url;
    get_.DestinationName = request.name;
    get_.DownloadParams.SizeLimit = request.sizeLimit;
    get_.Assembly = request.assembly;
    // The component keeps what it is set to: the next fetch starts from none of it.
    struct Cleared {
        net::WebHTTPGet& get;
        ~Cleared() {
            get.DownloadParams.SizeLimit = 0;
            get.Assembly = nullptr;
        }
    } cleared{get_};
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

}  // namespace selvanix
