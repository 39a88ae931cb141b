#include "ArchiverHooks.h"

#include "RunLog.h"
#include "archive/ArcException.h"

namespace selvanix {

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
            entry_ = QString(fileName).replace(u'\\', u'/');
        }
    };
    archiver_.OnProcessFileFailure = [this](TPakovna&, const QString& fileName,
                                            TArcProcessOperation, int nativeError, int,
                                            const QString& message, TArcAction& action) {
        failed(fileName, nativeError, message, action);
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

void ArchiverHooks::failed(const QString& entry, int nativeError, const QString& message,
                           TArcAction& action) {
    // A stop, or an archive whose opening was aborted, leaves nothing to ask.
    action = stop_ || nativeError == ARC_ERROR_OPEN_ABORTED
                 ? fxaAbort
                 : questions_.entryFailed(entry, nativeError, message);
    if (action == fxaIgnore) {
        ++outcomes_.skipped;
    } else if (action == fxaAbort && !stop_) {
        outcomes_.aborted = true;
        if (outcomes_.abortReason.isEmpty()) {
            outcomes_.abortReason = message;
        }
    }
    observer_.entryFailed({entry, nativeError, message, action});
    log(QStringLiteral("entry %1: error %2, %3; answer %4")
            .arg(entry, QString::number(nativeError), message, answerName(action)));
}

void ArchiverHooks::noPassword(const QString& entry) {
    ++outcomes_.skipped;
    observer_.entrySkipped(entry);
    log(QStringLiteral("entry %1: no password, skipped").arg(entry));
}

void ArchiverHooks::log(const QString& text) const {
    if (log_) {
        log_->line(text);
    }
}

}  // namespace selvanix
