#include "SelfUpdate.h"

#include "FailureDetail.h"
#include "RunObserver.h"
#include "Version.h"
#include "config/PublisherKey.h"
#include "config/UpdateStatement.h"
#include "net/WebHTTPGet.h"
#include "platform/ErrorReport.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace selvanix {

namespace {

constexpr char16_t kNextInstaller[] = u"selvanixnext.exe";
constexpr char16_t kSignatureSuffix[] = u".sig";
constexpr quint64 kSignatureSizeLimit = 4096;

// Whether the download wrote the whole body: only then may the file ever run.
bool downloadComplete(const net::WebHTTPGet& get) {
    const net::DownloadItem* item = get.FileDownloader();
    return get.Result().saved && item && item->State() == net::DS_PROCESSED && item->Error() == 0 &&
           get.DataSize() > 0;
}

// The statement beside the file names its purpose, version and hash, signed; a copy that is
// not newer than this Selvanix is not started (refusal says why).
bool updateSigned(net::WebHTTPGet& get, RunObserver& observer, const QString& baseUrl,
                  const PublisherKey& publisher, const QString& path, QString& refusal) {
    const QString signature = path + QString::fromUtf16(kSignatureSuffix);
    platform::deleteFile(signature);
    get.Resume = false;
    get.URL = baseUrl + QString::fromUtf16(kNextInstaller) + QString::fromUtf16(kSignatureSuffix);
    get.DestinationName = QString::fromUtf16(kNextInstaller) + QString::fromUtf16(kSignatureSuffix);
    // Cancel works as for any download, and a few KiB at most: a signature is one short line.
    get.DownloadParams.SizeLimit = kSignatureSizeLimit;
    bool verified = false;
    try {
        if (observer.download(get) && publisher.verifies()) {
            const UpdateVerdict verdict =
                checkUpdate(platform::toHostPath(path), platform::toHostPath(signature),
                            publisher.keys, selvanixVersion());
            verified = verdict.check == UpdateCheck::Verified;
            if (verdict.check == UpdateCheck::NotNewer) {
                refusal = QStringLiteral(
                              "Nová verze programu Selvanix (%1) není novější než "
                              "tato (%2), proto nebyla spuštěna.")
                              .arg(verdict.version, selvanixVersion());
            } else if (verdict.check == UpdateCheck::OldForm) {
                refusal = QStringLiteral(
                    "Nová verze programu Selvanix je podepsána starým "
                    "způsobem, proto nebyla spuštěna.");
            }
        }
    } catch (const std::exception&) {
        verified = false;  // no signature to be had is no signature
    }
    get.DownloadParams.SizeLimit = 0;
    platform::deleteFile(signature);
    return verified;
}

}  // namespace

UpdateDownload fetchUpdate(net::WebHTTPGet& get, RunObserver& observer, const QString& baseUrl,
                           const QString& publicKey) {
    get.Resume = true;
    get.DownloadDir = platform::installerFolder();
    get.URL = baseUrl + QString::fromUtf16(kNextInstaller);
    get.DestinationName = QString::fromUtf16(kNextInstaller);
    UpdateDownload update;
    update.path = platform::installerFolder() + QString::fromUtf16(kNextInstaller);
    bool finished = true;
    try {
        platform::deleteFile(get.DownloadDir + get.DestinationName);
        finished = observer.download(get);
    } catch (const std::exception& error) {
        update.problem = platform::errorReportText(QString::fromUtf8(error.what()));
    } catch (...) {
        update.problem = QStringLiteral("Unknown error.");
    }
    update.complete = downloadComplete(get);
    if (!update.complete && update.problem.isEmpty()) {
        update.problem = downloadFailure(get, finished, QString::fromUtf16(kNextInstaller));
    }
    const PublisherKey publisher = PublisherKey::fromText(publicKey);
    update.signatureRequired = publisher.required;
    if (!publisher.required) {
        update.trusted = update.complete;
        return update;
    }
    update.trusted = update.complete &&
                     updateSigned(get, observer, baseUrl, publisher, update.path, update.refusal);
    if (!update.trusted) {
        platform::deleteFile(update.path);
    }
    return update;
}

void makeRunnable(const QString& path) {
    const QFileInfo file(platform::toHostPath(path));
    const QFileInfo self(QCoreApplication::applicationFilePath());
    QFile::setPermissions(file.absoluteFilePath(), file.permissions() | self.permissions());
}

}  // namespace selvanix
