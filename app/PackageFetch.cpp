#include <QProgressBar>

#include "TFrDRozbal.h"
#include "platform/FileOps.h"

namespace selvanix {

namespace {

// Deletes the old copy, downloads a fresh one and tells whether the file is there now, also
// when the download threw.
void fetchOne(net::WebHTTPGet& get, const QString& baseUrl, const QString& name, bool& present) {
    get.URL = baseUrl + name;
    get.DestinationName = name;
    const QString path = get.DownloadDir + get.DestinationName;
    platform::deleteFile(path);
    try {
        get.InteractiveProcess();
    } catch (...) {
        present = platform::fileExists(path);
        throw;
    }
    present = platform::fileExists(path);
}

}  // namespace

void TFrDRozbal::kopirujzWebu() {
    ProgressBar1->setVisible(true);
    WebHTTPGet1.Resume = true;
    WebHTTPGet1.DownloadDir = platform::installerFolder();
    fetchOne(WebHTTPGet1, BaseURL, nazini, iniAn);
    fetchOne(WebHTTPGet1, BaseURL, nazzip, zipAn);
}

}  // namespace selvanix
