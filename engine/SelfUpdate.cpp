#include "SelfUpdate.h"

#include "FailureDetail.h"
#include "Fetcher.h"
#include "RunObserver.h"
#include "Version.h"
#include "config/PublisherKey.h"
#include "config/UpdateStatement.h"
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

// The statement beside the file names its purpose, version and hash, signed; a copy that is
// not newer than this Selvanix is not started (refusal says why).
bool updateSigned(Fetcher& fetcher, RunObserver& observer, const QString& baseUrl,
                  const PublisherKey& publisher, UpdateDownload& update) {
    const QString& path = update.path;
    QString& refusal = update.refusal;
    const QString signature = path + QString::fromUtf16(kSignatureSuffix);
    const QString name = QString::fromUtf16(kNextInstaller) + QString::fromUtf16(kSignatureSuffix);
    bool verified = false;
    try {
        // Cancel works as for any download, and a few KiB at most: a signature is one short
        // line.
        const FetchResult fetched = fetchShown(fetcher, observer,
                                               {.url = baseUrl + name,
                                                .folder = platform::installerFolder(),
                                                .name = name,
                                                .sizeLimit = kSignatureSizeLimit});
        if (!fetched.cancelled && publisher.verifies()) {
            const UpdateVerdict verdict =
                checkUpdate(platform::toHostPath(path), platform::toHostPath(signature),
                            publisher.keys, selvanixVersion());
            verified = verdict.check == UpdateCheck::Verified;
            if (verified) {
                update.version = verdict.version;
            }
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
    platform::deleteFile(signature);
    return verified;
}

}  // namespace

UpdateDownload fetchUpdate(Fetcher& fetcher, RunObserver& observer, const QString& baseUrl,
                           const QString& publicKey) {
    const QString name = QString::fromUtf16(kNextInstaller);
    UpdateDownload update;
    update.path = platform::installerFolder() + name;
    try {
        // Only a whole body may ever run.
        const FetchResult fetched = fetchShown(fetcher, observer,
                                               {.url = baseUrl + name,
                                                .folder = platform::installerFolder(),
                                                .name = name,
                                                .resume = true});
        update.complete = fetched.complete;
        update.problem = fetched.problem;
    } catch (const std::exception& error) {
        update.problem = platform::errorReportText(QString::fromUtf8(error.what()));
    } catch (...) {
        update.problem = QStringLiteral("Unknown error.");
    }
    const PublisherKey publisher = PublisherKey::fromText(publicKey);
    update.signatureRequired = publisher.required;
    if (!publisher.required) {
        update.trusted = update.complete;
        return update;
    }
    update.trusted = update.complete && updateSigned(fetcher, observer, baseUrl, publisher, update);
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
