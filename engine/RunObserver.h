#pragma once

#include "RunRequest.h"
#include "archive/Pakovna.h"
#include "locate/FolderSearch.h"

#include <QString>
#include <optional>

namespace selvanix {

// "Retry", "Ignore" or "Abort": an answer as the log and the console name it.
QString answerName(TArcAction answer);

// An entry the archiver could not write, and the answer the run took.
struct EntryFailure {
    QString entry;
    int nativeError = 0;
    QString message;
    TArcAction answer = fxaAbort;
};

// Why a run ends without installing the package it found, or without one at all.
enum class PackageProblem {
    NotFound,           // not fetched, not in the folder, or too large to be a descriptor
    Unsigned,           // a publisher key is required and the descriptor carries no signature
    SignatureMismatch,  // signed, but not by a trusted key over this archive and product
    Expired,            // signed, but only until a date that has passed
    OlderVersion,       // older than (or not comparable with) what a target holds
    OtherProduct,       // a target holds another product
};

// What an installation run tells whoever shows it, in the order it happens. The window shows
// each step on its run screen; the command line prints it.
class RunObserver {
public:
    virtual ~RunObserver() = default;

    // A file of the package is being fetched from url and saved under name.
    virtual void downloadStarted(const QString& url, const QString& name) {
        (void)url;
        (void)name;
    }
    // Of the file saved under name, received bytes have come of total (0: not announced).
    virtual void downloadProgress(const QString& name, qint64 received, qint64 total) {
        (void)name;
        (void)received;
        (void)total;
    }
    virtual void fetchingPackage() {}
    // The archive arrived with only fetched of its size bytes transferred (delta of them a
    // delta that rebuilt changed entries); the rest came from the archive of the last
    // installation.
    virtual void archiveReused(qint64 fetched, qint64 size, qint64 delta) {
        (void)fetched;
        (void)size;
        (void)delta;
    }
    // The package folder the run looked in; found when it holds the descriptor.
    virtual void packageLooked(const QString& folder, bool found) {
        (void)folder;
        (void)found;
    }
    // No package the run would install, and why.
    virtual void packageMissing(PackageProblem problem, const QString& reason) = 0;
    virtual void descriptorRead(const PackageInfo& info) = 0;
    virtual void searchStarted(const QString& marker) { (void)marker; }
    // The search's two progress displays: folders of the level, drives.
    virtual SearchProgress& searchProgress(int which);
    // The search ended, having left out the folders skips counts.
    virtual void searchEnded(const SearchSkips& skips) { (void)skips; }
    virtual void targetFound(const QString& target) { (void)target; }
    virtual void noTarget(const QString& reason, const SearchSkips& skips) = 0;
    // The package is older than what a target holds (or not comparable), and the answer to
    // whether to install it all the same.
    virtual void downgradeAnswered(const QString& packageVersion, const QString& installedVersion,
                                   bool comparable, bool allowed) {
        (void)packageVersion;
        (void)installedVersion;
        (void)comparable;
        (void)allowed;
    }
    // A target holds another product (its stem and name), and the answer to whether to install
    // into it all the same.
    virtual void otherProductAnswered(const QString& target, const QString& stem,
                                      const QString& name, bool allowed) {
        (void)target;
        (void)stem;
        (void)name;
        (void)allowed;
    }
    // A file of the old version that the new package no longer has stays, because the user
    // changed it since it was installed.
    virtual void fileKept(const QString& target, const QString& path) {
        (void)target;
        (void)path;
    }
    // The publisher's statements made this copy trust new keys or stop trusting some.
    virtual void keysChanged(const QStringList& added, const QStringList& revoked) {
        (void)added;
        (void)revoked;
    }
    virtual void targetStarted(const QString& target, int index, int count) = 0;
    virtual void targetUnchanged(const QString& target) { (void)target; }
    virtual void extractionProgress(double percent) { (void)percent; }
    // The entry being extracted, and the seconds the run still needs once they can be told;
    // at most once every RunProgress::kInterval.
    virtual void extractionStatus(const QString& entry, std::optional<int> secondsLeft) {
        (void)entry;
        (void)secondsLeft;
    }
    virtual void entryFailed(const EntryFailure& failure) { (void)failure; }
    virtual void entrySkipped(const QString& entry) { (void)entry; }
    virtual void programStarted(const QString& target, const QString& program) {
        (void)target;
        (void)program;
    }
    virtual void targetFailed(const QString& target, const QString& reason) = 0;
    // Another run holds target (or the product's downloads): the run ends, nothing changed.
    virtual void targetBusy(const QString& target, const QString& reason) {
        targetFailed(target, reason);
    }
    // The targets are new, but a stop that came while they were put in place keeps their
    // programs from starting.
    virtual void programsNotStarted(const QString& reason) { (void)reason; }
    // The run went through its targets; startProblem says why a program was not started.
    virtual void installed(const RunResult& result, const SearchSkips& skips,
                           const QString& startProblem) = 0;
};

}  // namespace selvanix
