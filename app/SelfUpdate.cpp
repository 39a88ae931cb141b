#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "TFrDRozbal.h"
#include "config/PackageSignature.h"
#include "config/PublisherKey.h"
#include "engine/FailureDetail.h"
#include "platform/ErrorReport.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/ShellOpen.h"

namespace selvanix {

namespace {

constexpr char16_t kNextInstaller[] = u"selvanixnext.exe";
constexpr char16_t kSignatureSuffix[] = u".sig";
constexpr quint64 kSignatureSizeLimit = 4096;

// Whether the download wrote the whole body: only then may the file ever run.
bool downloadComplete(const net::WebHTTPGet& get, const QString& path) {
    const net::DownloadItem* item = get.FileDownloader();
    const QFileInfo file(platform::toHostPath(path));
    return item && item->FState == net::DS_PROCESSED && item->FError == 0 && file.isFile() &&
           static_cast<quint64>(file.size()) == get.DataSize() && get.DataSize() > 0;
}

// A fresh copy cannot start on Linux without an execute bit: it gets the running program's.
void makeRunnable(const QString& path) {
    const QFileInfo file(platform::toHostPath(path));
    const QFileInfo self(QCoreApplication::applicationFilePath());
    QFile::setPermissions(file.absoluteFilePath(), file.permissions() | self.permissions());
}

}  // namespace

bool TFrDRozbal::updateSigned(const QString& path) {
    const PublisherKey publisher = PublisherKey::fromText(PublicKey);
    const QString signature = path + QString::fromUtf16(kSignatureSuffix);
    platform::deleteFile(signature);
    WebHTTPGet1.Resume = false;
    WebHTTPGet1.URL =
        BaseURL + QString::fromUtf16(kNextInstaller) + QString::fromUtf16(kSignatureSuffix);
    WebHTTPGet1.DestinationName =
        QString::fromUtf16(kNextInstaller) + QString::fromUtf16(kSignatureSuffix);
    // Through the download window, so Cancel works, and a few KiB at most: a signature is one
    // short line.
    WebHTTPGet1.DownloadParams.SizeLimit = kSignatureSizeLimit;
    bool verified = false;
    try {
        verified = WebHTTPGet1.InteractiveProcess() && publisher.verifies() &&
                   checkDetachedSignature(path, signature, *publisher.key);
    } catch (const std::exception&) {
        verified = false;  // no signature to be had is no signature
    }
    WebHTTPGet1.DownloadParams.SizeLimit = 0;
    platform::deleteFile(signature);
    return verified;
}

void TFrDRozbal::BtnAktualClick() {
    WebHTTPGet1.Resume = true;
    WebHTTPGet1.DownloadDir = platform::installerFolder();
    WebHTTPGet1.URL = BaseURL + QString::fromUtf16(kNextInstaller);
    WebHTTPGet1.DestinationName = QString::fromUtf16(kNextInstaller);
    QString problem;
    bool finished = true;
    try {
        platform::deleteFile(WebHTTPGet1.DownloadDir + WebHTTPGet1.DestinationName);
        finished = WebHTTPGet1.InteractiveProcess();
    } catch (const std::exception& error) {
        problem = platform::errorReportText(QString::fromUtf8(error.what()));
    } catch (...) {
        problem = QStringLiteral("Unknown error.");
    }
    const QString path = platform::installerFolder() + QString::fromUtf16(kNextInstaller);
    const bool complete = downloadComplete(WebHTTPGet1, path);
    if (!complete && problem.isEmpty()) {
        problem = downloadFailure(WebHTTPGet1, finished, QString::fromUtf16(kNextInstaller));
    }
    // The report comes before the window goes: a message box opened after quit() would
    // return at once, unseen.
    const QString failed = QStringLiteral("Novou verzi programu Selvanix se nepodařilo stáhnout. ");
    // With a publisher key, only a new copy signed by it may start; otherwise this one stays.
    if (PublisherKey::fromText(PublicKey).required) {
        if (!complete) {
            platform::deleteFile(path);
            platform::reportError(failed + problem);
            return;
        }
        if (!updateSigned(path)) {
            platform::deleteFile(path);
            platform::reportError(
                QStringLiteral("Novou verzi programu Selvanix se nepodařilo ověřit, proto nebyla "
                               "spuštěna"));
            return;
        }
    }
    if (!complete) {
        platform::reportError(failed + problem);
    }
    if (!path.trimmed().isEmpty()) {
        close();
        QCoreApplication::quit();
        if (complete) {
            makeRunnable(path);
        }
        platform::ShellOpen(path, QString(), QString(), platform::SW_SHOWNORMAL);
    }
}

}  // namespace selvanix
