#include "FailureDetail.h"
#include "InstallEngine.h"
#include "net/WebHTTPGet.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "profile/PrivateProfile.h"

namespace selvanix {

namespace {

// A portal's page saved beside it under another name is not the file.
bool savedAs(const net::WebHTTPGet& get, const QString& name) {
    const net::DownloadResult result = get.Result();
    return result.saved && result.name == name;
}

// Deletes the old copy, downloads a fresh one and tells whether the file is there now, also
// when the download threw; a download that left no file says why in `problem`.
void fetchOne(RunObserver& observer, net::WebHTTPGet& get, const QString& baseUrl,
              const QString& name, bool& present, QString& problem) {
    get.URL = baseUrl + name;
    get.DestinationName = name;
    platform::deleteFile(get.DownloadDir + get.DestinationName);
    bool finished = true;
    try {
        finished = observer.download(get);
    } catch (...) {
        present = savedAs(get, name);
        throw;
    }
    present = savedAs(get, name);
    if (!present && problem.isEmpty()) {
        problem = downloadFailure(get, finished, name);
    }
}

}  // namespace

void InstallEngine::kopirujzWebu(const QString& baseUrl, const QString& nazini,
                                 const QString& nazzip) {
    get_.Resume = true;
    get_.DownloadDir = platform::installerFolder();
    downloadProblem_.clear();
    // A descriptor is a small profile file: more than a profile may hold is not even fetched.
    get_.DownloadParams.SizeLimit = kMaxProfileBytes;
    try {
        fetchOne(observer_, get_, baseUrl, nazini, iniAn_, downloadProblem_);
    } catch (...) {
        get_.DownloadParams.SizeLimit = 0;
        throw;
    }
    get_.DownloadParams.SizeLimit = 0;
    if (stop_) {
        zipAn_ = false;
        return;
    }
    fetchOne(observer_, get_, baseUrl, nazzip, zipAn_, downloadProblem_);
}

}  // namespace selvanix
