#include "Pakovna.h"

#include "ArcException.h"
#include "WildcardMatch.h"
#include "platform/Dialogs.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <QDir>
#include <QRegularExpression>
#include <mutex>

namespace selvanix {

namespace {

// One archive operation at a time in the process; the thread holding it may enter again.
std::recursive_mutex& archiverLock() {
    static std::recursive_mutex lock;
    return lock;
}

QString fileNamePart(const QString& path) {
    const qsizetype cut =
        std::max({path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'), path.lastIndexOf(u':')});
    return path.mid(cut + 1);
}

// A drive part ("C:" or "\\server\share") in front of a mask.
QString withoutDrive(const QString& mask) {
    if (platform::hasDrive(mask)) {
        return mask.mid(2);
    }
    if (mask.startsWith(QStringLiteral("\\\\")) || mask.startsWith(QStringLiteral("//"))) {
        qsizetype at = 2;
        for (int part = 0; part < 2 && at <= mask.size(); ++part) {
            const qsizetype next = mask.indexOf(QRegularExpression(QStringLiteral("[\\\\/]")), at);
            at = next < 0 ? mask.size() : (part == 0 ? next + 1 : next);
        }
        return mask.mid(at);
    }
    return mask;
}

}  // namespace

TPakovna::TPakovna(QString name) : TArcBaseArchiver(std::move(name)) {}

void TPakovna::OpenArchiveFile(const platform::File& file) {
    std::optional<platform::File> own = file.duplicate();
    if (!own) {
        throw EInOutError(platform::lastError());
    }
    CloseArchive();
    OEMFileNames = Options.OEMFileNames;
    openStream(ArchiveStream(std::move(*own)));
    if (AfterOpen) {
        AfterOpen(*this);
    }
}

void TPakovna::OpenArchive(std::uint16_t mode) {
    if (fileNamePart(FileName).isEmpty()) {
        raise(ARC_ERROR_BLANK_NAME);
    }
    const bool removable = platform::isOnRemovableDrive(FileName);
    if (mode != kCreateArchiveMode && !platform::fileExists(FileName) &&
        SpanningMode != smSpanning && !removable) {
        raise(ARC_ERROR_FILE_NOT_FOUND, FileName);
    }
    CloseArchive();
    SpanningMode = smNone;
    if (removable && !platform::fileExists(FileName)) {
        // Taken for the last disk of a set: ask for it until it is there.
        auto& dialogs = platform::dialogs();
        auto answer = dialogs.message(
            QStringLiteral("Confirm"), QStringLiteral("Please insert the last disk"),
            platform::MessageIcon::Confirmation, platform::MessageButtons::OkCancel);
        while (answer == platform::MessageResult::Ok && !platform::fileExists(FileName)) {
            answer = dialogs.message(
                QStringLiteral("Confirm"),
                QStringLiteral("File '%1' not found on inserted disk. Please insert last disk "
                               "with required file")
                    .arg(platform::displayPath(FileName)),
                platform::MessageIcon::Confirmation, platform::MessageButtons::OkCancel);
        }
        if (answer != platform::MessageResult::Ok) {
            raise(ARC_ERROR_OPEN_ABORTED);
        }
    }
    auto stream = ArchiveStream::open(FileName);
    if (!stream) {
        throw EInOutError(platform::lastError());
    }
    OEMFileNames = Options.OEMFileNames;
    openStream(std::move(*stream));
    if (AfterOpen) {
        AfterOpen(*this);
    }
}

void TPakovna::CloseArchive() noexcept {
    try {
        closeStream();
    } catch (...) {
        // Closing never fails.
    }
}

bool TPakovna::entryPasses(const TDirItem& item, const QString& mask, const QString& exclusion,
                           std::uint32_t searchAttr) const {
    QString n = item.Name;
    if (n.endsWith(u'/') || n.endsWith(u'\\')) {
        n.chop(1);
    }
    const QString last = n.mid(std::max(n.lastIndexOf(u'/'), n.lastIndexOf(u'\\')) + 1);
    if (!ArcMatchesMask(n, mask) && !ArcMatchesMask(last, mask)) {
        return false;
    }
    if (!exclusion.isEmpty() && ArcMatchesMask(n, exclusion)) {
        return false;
    }
    return (item.CentralDir.externalAttr & ~searchAttr & 0x1E) == 0;
}

void TPakovna::ExtractFiles(const QString& fileMask, std::uint32_t searchAttr,
                            const QString& exclusionMask) {
    TagFiles(fileMask, searchAttr, exclusionMask);
    processTagged();
}

void TPakovna::ExtractEntries(const std::function<bool(const TDirItem&)>& select) {
    if (!Active()) {
        raise(ARC_ERROR_NOT_OPEN);
    }
    for (TDirItem& item : directory().CDir) {
        item.Tagged = select(item);
    }
    processTagged();
}

void TPakovna::TagFiles(const QString& fileMask, std::uint32_t searchAttr,
                        const QString& exclusionMask) {
    if (!Active()) {
        raise(ARC_ERROR_NOT_OPEN);
    }
    TArcDirManager& dir = directory();
    const bool wildcards = fileMask.contains(u'*') || fileMask.contains(u'?');
    if (Options.Recurse || wildcards || !exclusionMask.isEmpty() ||
        searchAttr != DefaultSearchAttr) {
        QString mask = Options.StorePath == spFullPathWithDrive ? fileMask : withoutDrive(fileMask);
        mask.replace(u'\\', u'/');
        mask.truncate(259);  // the find handle holds 259 units and a terminator
        for (TDirItem& item : dir.CDir) {
            item.Tagged = entryPasses(item, mask, exclusionMask, searchAttr);
        }
    } else {
        for (TDirItem& item : dir.CDir) {
            item.Tagged = item.Name.compare(fileMask, Qt::CaseInsensitive) == 0;
        }
    }
}

void TPakovna::processTagged() {
    const std::lock_guard lock(archiverLock());
    baseFolder_.reset();
    folders_.clear();
    umask_ = platform::processUmask();
    localZone_ = QTimeZone::systemTimeZone();
    beginClaims();
    TArcDirManager& dir = directory();
    FCurrentOperation = poExtract;
    FProcessedFileNo = 0;
    FProcessedFileCount = 0;
    for (const TDirItem& item : dir.CDir) {
        FProcessedFileCount += item.Tagged ? 1 : 0;
    }
    FProgressCancel = false;
    FProgressEnabled = true;

    bool cancel = false;
    if (OnOverallProgress) {
        OnOverallProgress(*this, 0, poExtract, ppStart, cancel);
    }
    if (cancel) {
        return;
    }
    bool aborted = false;
    for (int i = 0; i < dir.Count() && !aborted && !FProgressCancel; ++i) {
        if (!dir.Item(i).Tagged) {
            continue;
        }
        QString f = dir.Item(i).Name;
        f.replace(u'/', u'\\');
        for (bool retry = true; retry;) {
            retry = false;
            try {
                bool confirm = true;
                if (OnConfirmProcessFile) {
                    OnConfirmProcessFile(*this, f, poExtract, confirm);
                }
                if (!confirm) {
                    break;
                }
                QString base = BaseDir.isEmpty() ? currentDir() : BaseDir;
                if (!base.endsWith(u'\\')) {
                    base += u'\\';
                }
                bool stop = false;
                if (OnFileProgress) {
                    OnFileProgress(*this, f, 0, poExtract, ppStart, stop);
                }
                if (stop) {
                    FProgressCancel = true;
                    break;
                }
                extractToFile(i, f, base);
                stop = false;
                if (OnFileProgress) {
                    OnFileProgress(*this, f, 100, poExtract, ppEnd, stop);
                }
                if (!FProgressCancel) {
                    ++FProcessedFileNo;
                }
            } catch (const EArcException& error) {
                switch (failureAction(f, error)) {
                    case fxaRetry:
                        retry = true;
                        break;
                    case fxaIgnore:
                        break;
                    case fxaAbort:
                        aborted = true;
                        break;
                }
            }
        }
    }
    cancel = false;
    if (OnOverallProgress) {
        OnOverallProgress(*this, 100, poExtract, ppEnd, cancel);
    }
}

TArcAction TPakovna::failureAction(const QString& fileName, const EArcException& error) {
    TArcAction action = fxaIgnore;
    failureOsError_ = error.OsError();
    if (OnProcessFileFailure) {
        OnProcessFileFailure(*this, fileName, poExtract, error.NativeError(), error.ErrorCode(),
                             error.message(), action);
        return action;
    }
    return askFailureAction(error.NativeError(), error.message());
}

TArcAction TPakovna::askFailureAction(int nativeError, const QString& message) {
    if (nativeError == ARC_ERROR_OPEN_ABORTED) {
        return fxaAbort;
    }
    const bool skipOnly = nativeError == ARC_ERROR_PROCESSING_ABORTED;
    const auto answer = platform::dialogs().message(
        QStringLiteral("Confirm"),
        skipOnly ? message
                 : QStringLiteral("%1. File processing error, possibly disk is full").arg(message),
        platform::MessageIcon::Confirmation,
        skipOnly ? platform::MessageButtons::AbortIgnore
                 : platform::MessageButtons::AbortRetryIgnore);
    switch (answer) {
        case platform::MessageResult::Retry:
            return fxaRetry;
        case platform::MessageResult::Ignore:
            return fxaIgnore;
        default:
            return fxaAbort;
    }
}

bool TPakovna::confirmOverwrite(const QString& source, QString& dest) {
    bool confirm = false;
    if (OnConfirmOverwrite) {
        OnConfirmOverwrite(*this, source, dest, confirm);
        return confirm;
    }
    switch (platform::dialogs().message(
        QStringLiteral("Confirm"),
        QStringLiteral("Overwrite file \"%1\" with \"%2\"")
            .arg(platform::displayPath(dest), platform::displayPath(source)),
        platform::MessageIcon::Confirmation, platform::MessageButtons::YesNoNoToAllYesToAll)) {
        case platform::MessageResult::Yes:
            return true;
        case platform::MessageResult::YesToAll:
            Options.OverwriteMode = omAlways;
            return true;
        case platform::MessageResult::NoToAll:
            Options.OverwriteMode = omNever;
            return false;
        default:
            return false;
    }
}

QString TPakovna::currentDir() {
    if (FCurrentDir.isEmpty()) {
        FCurrentDir = QDir::currentPath();
    }
    return FCurrentDir;
}

}  // namespace selvanix
