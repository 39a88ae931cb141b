#pragma once

#include "platform/handles/FileLock.h"

#include <QString>
#include <chrono>
#include <variant>

namespace selvanix {

// "Do složky … nelze zapisovat.": a target this run may not change.
QString unwritableTarget(const QString& target);

// Why a run could not hold a target (or a product's downloads).
struct LockRefusal {
    enum class Kind {
        Busy,        // another run holds it: the run ends before anything changes
        Unsafe,      // the lock file is not one this run may trust: the target fails its check
        Unreadable,  // a reader could not open it; it may read without changing anything
    };
    Kind kind = Kind::Busy;
    QString reason;  // one Czech sentence naming the folder
};

// One run at a time in a target: T/.selvanix/lock, taken before the target's journal is
// looked at and held until the run's commit is done. Two runs that need several targets take
// them in the order of their folders' identities, so neither waits on the other in a circle.
// The same kind of lock, one per product, guards the installer's own folder, where every run
// of a product fetches into the same files.
class TargetLock {
public:
    static constexpr std::chrono::milliseconds kWait{10000};
    static constexpr std::chrono::milliseconds kNoWait{0};

    // The lock of target (shown as path in a reason), waited for up to wait. A reader also
    // takes it through a read-only descriptor, and never makes it.
    static std::variant<TargetLock, LockRefusal> take(
        const platform::FolderHandle& target, const QString& path,
        std::chrono::milliseconds wait = kWait,
        platform::FileLock::Access access = platform::FileLock::Access::Write);
    // The lock of the downloads of product stem in the installer's folder.
    static std::variant<TargetLock, LockRefusal> takeDownloads(
        const QString& installerFolder, const QString& stem,
        std::chrono::milliseconds wait = kWait);

    TargetLock(TargetLock&& other) noexcept;
    TargetLock& operator=(TargetLock&&) = delete;
    TargetLock(const TargetLock&) = delete;
    TargetLock& operator=(const TargetLock&) = delete;
    // Lets go; a records folder left with nothing in it goes too.
    ~TargetLock();

private:
    TargetLock(platform::FileLock lock, std::optional<platform::FolderHandle> target);
    platform::FileLock lock_;
    std::optional<platform::FolderHandle> target_;  // none for the downloads' lock
};

}  // namespace selvanix
