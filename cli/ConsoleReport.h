#pragma once

#include "DownloadPace.h"
#include "engine/RunObserver.h"

#include <QJsonObject>
#include <QString>
#include <atomic>
#include <cstdio>
#include <optional>

namespace selvanix::cli {

// The run as a shell sees it: a line per step (with a progress display on a terminal), or
// with --json one JSON object per line and nothing else on standard output.
class ConsoleReport : public RunObserver {
public:
    ConsoleReport(bool json, std::FILE* out);

    void downloadStarted(const QString& url, const QString& name) override;
    void downloadProgress(const QString& name, qint64 received, qint64 total) override;
    void packageLooked(const QString& folder, bool found) override;
    void archiveReused(qint64 fetched, qint64 size, qint64 delta) override;
    void packageMissing(PackageProblem problem, const QString& reason) override;
    void descriptorRead(const PackageInfo& info) override;
    void searchStarted(const QString& marker) override;
    void targetFound(const QString& target) override;
    void noTarget(const QString& reason, const SearchSkips& skips) override;
    void targetStarted(const QString& target, int index, int count) override;
    void downgradeAnswered(const QString& packageVersion, const QString& installedVersion,
                           bool comparable, bool allowed) override;
    void targetUnchanged(const QString& target) override;
    void keysChanged(const QStringList& added, const QStringList& revoked) override;
    void otherProductAnswered(const QString& target, const QString& stem, const QString& name,
                              bool allowed) override;
    void fileKept(const QString& target, const QString& path) override;
    void extractionProgress(double percent) override;
    void entryFailed(const EntryFailure& failure) override;
    void entrySkipped(const QString& entry) override;
    void programStarted(const QString& target, const QString& program) override;
    void targetFailed(const QString& target, const QString& reason) override;
    void targetBusy(const QString& target, const QString& reason) override;
    void programsNotStarted(const QString& reason) override;
    void installed(const RunResult& result, const SearchSkips& skips,
                   const QString& startProblem) override;

    // An event of the command itself, and the last line: the outcome.
    void event(const QString& name, QJsonObject fields, const QString& line);
    // extra adds fields to the JSON record.
    void outcome(const QString& outcome, int exitCode, const QString& reason, bool changed,
                 const QJsonObject& extra = {});

    bool json() const { return json_; }
    // The reason of the last target that failed.
    const QString& lastFailure() const { return lastFailure_; }

    // The version and the targets that hold it after a run, as JSON fields; none without one.
    static QJsonObject where(const RunResult& result);

private:
    void print(const QString& line);
    void endProgress();
    void showPercent(int percent);
    // Rewrites the terminal's progress line, padded over what the last one left.
    void showOnTerminal(const QString& text);

    bool json_;
    bool terminal_;
    std::FILE* out_;
    int shownPercent_ = -1;
    bool lineShown_ = false;  // a progress line waits on the terminal for its end
    int lineLength_ = 0;
    QString downloading_;
    std::optional<DownloadPace> pace_;
    QString lastFailure_;
};

}  // namespace selvanix::cli
