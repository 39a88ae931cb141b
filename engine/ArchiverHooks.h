#pragma once

#include "RunObserver.h"
#include "RunProgress.h"
#include "RunQuestions.h"
#include "archive/Pakovna.h"

#include <QString>
#include <atomic>

namespace selvanix {

class RunLog;

// What one target's extraction came to besides its files.
struct EntryOutcomes {
    int skipped = 0;             // entries the user ignored or gave no password for
    bool aborted = false;        // the user aborted at an entry (a stop is not counted)
    QString abortReason;         // why that entry failed: its cause in Czech, else the archiver's
    QStringList notInstalled{};  // entries answered with Ignore or Abort, or without password
    QStringList causes{};        // why, once each, in the order they came
};

// The archiver's events for one extraction, for as long as this lives: the observer hears
// each entry, a stop cancels, and what the user answered is collected here.
class ArchiverHooks {
public:
    ArchiverHooks(TPakovna& archiver, RunObserver& observer, RunQuestions& questions,
                  RunProgress& progress, const std::atomic<bool>& stop, const RunLog* log);
    ~ArchiverHooks();
    ArchiverHooks(const ArchiverHooks&) = delete;
    ArchiverHooks& operator=(const ArchiverHooks&) = delete;

    const EntryOutcomes& outcomes() const { return outcomes_; }

private:
    void failed(const QString& entry, int nativeError, int osError, const QString& message,
                TArcAction& action);
    void notInstalled(const QString& entry, const QString& why);
    void noPassword(const QString& entry);
    void log(const QString& text) const;

    TPakovna& archiver_;
    RunObserver& observer_;
    RunQuestions& questions_;
    RunProgress& progress_;
    const std::atomic<bool>& stop_;
    const RunLog* log_;
    QString entry_;  // the entry being extracted, as the status shows it
    EntryOutcomes outcomes_;
};

}  // namespace selvanix
