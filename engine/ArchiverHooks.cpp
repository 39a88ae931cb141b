#include "ArchiverHooks.h"

#include "FailureDetail.h"
#include "RunLog.h"
#include "archive/ArcException.h"

namespace selvanix {

namespace {

// The archiver names entries with backslashes; people, the log and scripts read them as the
// paths they become.
QString linuxEntry(const QString& entry) {
    return QString(entry).replace(u'\\', u'/');
}

}  // namespace

ArchiverHooks::ArchiverHooks(TPakovna& archiver, RunObserver& observer, RunQuestions& questions,
                             RunProgress& progress, const std::atomic<bool>& stop,
                             const RunLog* log)
    : archiver_(archiver),
      observer_(observer),
      questions_(questions),
      progress_(progress),
      stop_(stop),
      log_(log) {
    archiver_.OnOverallProgress = [this](TArcBaseArchiver&, double percent, TArcProcessOperation,
                                         TArcProgressPhase, bool& cancel) {
        observer_.extractionProgress(percent);
        const RunProgress::Clock::time_point now = RunProgress::Clock::now();
        if (!entry_.isEmpty() && progress_.reportDue(now)) {
            observer_.extractionStatus(entry_, progress_.secondsLeft(percent, now));
        }
        cancel = cancel || stop_;
    };
    archiver_.OnFileProgress = [this](TArcBaseArchiver&, const QString& fileName, double,
                                      TArcProcessOperation, TArcProgressPhase phase, bool& cancel) {
        cancel = cancel || stop_;
        if (phase == ppStart) {
            entry_ = linuxEntry(fileName);
        }
    };
    archiver_.OnProcessFileFailure = [this](TPakovna& archiver, const QString& fileName,
                                            TArcProcessOperation, int nativeError, int,
                                            const QString& message, TArcAction& action) {
        failed(fileName, nativeError, archiver.FailureOsError(), message, action);
    };
    archiver_.OnPassword = [this](TArcBaseArchiver&, const QString& fileName, QByteArray& password,
                                  bool& skip) {
        const std::optional<QByteArray> given = questions_.password(fileName);
        skip = !given;
        if (given) {
            password = *given;
        } else {
            noPassword(fileName);
        }
    };
}

ArchiverHooks::~ArchiverHooks() {
    archiver_.OnOverallProgress = nullptr;
    archiver_.OnFileProgress = nullptr;
    archiver_.OnProcessFileFailure = nullptr;
    archiver_.OnPassword = nullptr;
}

void ArchiverHooks::failed(const QString& entry, int nativeError, int osError,
                           const QString& message, TArcAction& action) {
    // A stop, or an archive whose opening was aborted, leaves nothing to ask.
    action = stop_ || nativeError == ARC_ERROR_OPEN_ABORTED
                 ? fxaAbort
                 : questions_.entryFailed(entry, nativeError, message);
    const QString cause = entryCause(nativeError, osError);
    const QString shown = linuxEntry(entry);
    if (action == fxaIgnore) {
        ++outcomes_.skipped;
        notInstalled(shown, cause.isEmpty() ? message : cause);
    } else if (action == fxaAbort && !stop_) {
        outcomes_.aborted = true;
        if (outcomes_.abortReason.isEmpty()) {
            outcomes_.abortReason = cause.isEmpty() ? message : cause;
        }
        notInstalled(shown, cause.isEmpty() ? message : cause);
    }
    observer_.entryFailed({shown, nativeError, message, action});
    log(QStringLiteral("entry %1: error %2, %3; answer %4")
            .arg(shown, QString::number(nativeError), message, answerName(action)));
}

void ArchiverHooks::notInstalled(const QString& entry, const QString& why) {
    outcomes_.notInstalled << entry;
    if (!outcomes_.causes.contains(why)) {
        outcomes_.causes << why;
    }
}

void ArchiverHooks::noPassword(const QString& entry) {
    ++outcomes_.skipped;
    const QString shown = linuxEntry(entry);
    notInstalled(shown, QStringLiteral("chybí heslo nebo není správné"));
    observer_.entrySkipped(shown);
    log(QStringLiteral("entry %1: no password, skipped").arg(shown));
}

void ArchiverHooks::log(const QString& text) const {
    if (log_) {
        log_->line(text);
    }
}

}  // namespace selvanix
