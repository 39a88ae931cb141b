#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <exception>

#include "TFrDRozbal.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/ShellOpen.h"

namespace selvanix {

namespace {

constexpr char16_t kNextInstaller[] = u"selvanixnext.exe";

// A fresh copy cannot start on Linux without an execute bit: it gets the running
// program's bits, but only when the whole body was written.
void makeRunnableIfComplete(const net::WebHTTPGet& get, const QString& path) {
    const net::DownloadItem* item = get.FileDownloader();
    const QFileInfo file(platform::toHostPath(path));
    if (!item || item->FState != net::DS_PROCESSED || item->FError != 0 || !file.isFile() ||
        file.size() != get.Data().size() || get.Data().isEmpty()) {
        return;
    }
    const QFileInfo self(QCoreApplication::applicationFilePath());
    QFile::setPermissions(file.absoluteFilePath(), file.permissions() | self.permissions());
}

}  // namespace

void TFrDRozbal::BtnAktualClick() {
    WebHTTPGet1.Resume = true;
    WebHTTPGet1.DownloadDir = platform::installerFolder();
    WebHTTPGet1.URL = BaseURL + QString::fromUtf16(kNextInstaller);
    WebHTTPGet1.DestinationName = QString::fromUtf16(kNextInstaller);
    std::exception_ptr raised;
    try {
        platform::deleteFile(WebHTTPGet1.DownloadDir + WebHTTPGet1.DestinationName);
        WebHTTPGet1.InteractiveProcess();
    } catch (...) {
        raised = std::current_exception();
    }
    const QString path = platform::installerFolder() + QString::fromUtf16(kNextInstaller);
    if (!path.trimmed().isEmpty()) {
        close();
        QCoreApplication::quit();
        makeRunnableIfComplete(WebHTTPGet1, path);
        SpustFile(path, QString(), QString(), platform::SW_SHOWNORMAL);
    }
    if (raised) {
        std::rethrow_exception(raised);
    }
}

}  // namespace selvanix
