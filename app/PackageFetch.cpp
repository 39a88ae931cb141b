#include <QProgressBar>

#include "FailureDetail.h"
#include "TFrDRozbal.h"
#include "platform/FileOps.h"
#include "profile/PrivateProfile.h"

namespace selvanix {

namespace {

// Deletes the old copy, downloads a fresh one and tells whether the file is there now, also
// when the download threw; a download that left no file says why in `problem`.
void fetchOne(net::WebHTTPGet& get, const QString& baseUrl, const QString& name, bool& present,
              QString& problem) {
    get.URL = baseUrl + name;
    get.DestinationName = name;
    const QString path = get.DownloadDir + get.DestinationName;
    platform::deleteFile(path);
    bool finished = true;
    try {
        finished = get.InteractiveProcess();
    } catch (...) {
        present = platform::fileExists(path);
        throw;
    }
    present = platform::fileExists(path);
    if (!present && problem.isEmpty()) {
        problem = downloadFailure(get, finished, name);
    }
}

}  // namespace

void TFrDRozbal::kopirujzWebu() {
    ProgressBar1->setVisible(true);
    WebHTTPGet1.Resume = true;
    WebHTTPGet1.DownloadDir = platform::installerFolder();
    downloadProblem_.clear();
    // A descriptor is a small profile file: more than a profile may hold is not even fetched.
    WebHTTPGet1.DownloadParams.SizeLimit = kMaxProfileBytes;
    try {
        fetchOne(WebHTTPGet1, BaseURL, nazini, iniAn, downloadProblem_);
    } catch (...) {
        WebHTTPGet1.DownloadParams.SizeLimit = 0;
        throw;
    }
    WebHTTPGet1.DownloadParams.SizeLimit = 0;
    fetchOne(WebHTTPGet1, BaseURL, nazzip, zipAn, downloadProblem_);
}

}  // namespace selvanix
