#include "TargetLock.h"

#include "Manifest.h"
#include "platform/FaultPoint.h"
#include "platform/Paths.h"

#include <pwd.h>
#include <QFile>
#include <cstring>

namespace selvanix {

namespace {

const QByteArray kLockName = "lock";
constexpr int kRetries = 100;

QString ownerName(uid_t uid) {
    const struct passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

// A writer that may not make or open the lock may not write the folder either: it is told
// so, as the check of targets tells it.
LockRefusal refusal(const platform::FileLock::Refused& refused, const QString& lockPath,
                    const QString& busyReason, const QString& folder, bool writer) {
    using platform::FileLock;
    const auto unsafe = [](const QString& reason) {
        return LockRefusal{LockRefusal::Kind::Unsafe,
                           reason + QStringLiteral(" Složka zůstala beze změny.")};
    };
    switch (refused.why) {
        case FileLock::Refusal::Busy:
            return LockRefusal{LockRefusal::Kind::Busy, busyReason};
        case FileLock::Refusal::Link:
            return unsafe(QStringLiteral("Zámek %1 je odkaz, ne soubor.").arg(lockPath));
        case FileLock::Refusal::NotRegular:
            return unsafe(QStringLiteral("Zámek %1 není obyčejný soubor.").arg(lockPath));
        case FileLock::Refusal::SecondName:
            return unsafe(QStringLiteral("Zámek %1 má ještě jiné jméno.").arg(lockPath));
        case FileLock::Refusal::ForeignOwner:
            return unsafe(QStringLiteral("Zámek %1 patří jinému uživateli (%2).")
                              .arg(lockPath, ownerName(refused.owner)));
        case FileLock::Refusal::Unopened:
            break;
    }
    const bool denied = refused.error == EACCES || refused.error == EPERM ||
                        refused.error == EROFS || refused.error == ENOENT;
    if (denied && writer) {
        return LockRefusal{LockRefusal::Kind::Unsafe, unwritableTarget(folder)};
    }
    return LockRefusal{denied ? LockRefusal::Kind::Unreadable : LockRefusal::Kind::Unsafe,
                       QStringLiteral("Zámek %1 nelze otevřít: %2.")
                           .arg(lockPath, QString::fromLocal8Bit(std::strerror(refused.error)))};
}

}  // namespace

QString unwritableTarget(const QString& target) {
    return QStringLiteral("Do složky %1 nelze zapisovat.").arg(platform::displayPath(target));
}

std::variant<TargetLock, LockRefusal> TargetLock::take(const platform::FolderHandle& target,
                                                       const QString& path,
                                                       std::chrono::milliseconds wait,
                                                       platform::FileLock::Access access) {
    const QString shown = platform::displayPath(path);
    const QString lockPath = shown + (shown.endsWith(u'/') ? QString() : QStringLiteral("/")) +
                             QString::fromLatin1(kRecordsName) + u'/' +
                             QString::fromLatin1(kLockName);
    const QString busy =
        QStringLiteral(
            "Složku %1 právě mění jiné spuštění programu Selvanix; zkuste to znovu, až skončí.")
            .arg(shown);
    const bool write = access == platform::FileLock::Access::Write;
    // The holder before removed the records folder it had made for its lock, or an uninstall
    // removed it: the lock is taken again in a new one.
    for (int attempt = 0;; ++attempt) {
        const std::optional<platform::FolderHandle> records = recordsFolder(target, write);
        if (!records) {
            return refusal({platform::FileLock::Refusal::Unopened, errno, 0}, lockPath, busy, path,
                           write);
        }
        auto taken =
            platform::FileLock::take(*records, kLockName, access, platform::lockWait(wait));
        if (auto* lock = std::get_if<platform::FileLock>(&taken)) {
            return TargetLock(std::move(*lock), target.reopen());
        }
        const auto& refused = std::get<platform::FileLock::Refused>(taken);
        if (!write || attempt >= kRetries || refused.why != platform::FileLock::Refusal::Unopened ||
            refused.error != ENOENT) {
            return refusal(refused, lockPath, busy, path, write);
        }
    }
}

std::variant<TargetLock, LockRefusal> TargetLock::takeDownloads(const QString& installerFolder,
                                                                const QString& stem,
                                                                std::chrono::milliseconds wait) {
    const QString shown = platform::displayPath(installerFolder);
    const QByteArray name = ".upgrade-" + QFile::encodeName(stem) + ".lock";
    const QString lockPath = shown + (shown.endsWith(u'/') ? QString() : QStringLiteral("/")) +
                             QString::fromLocal8Bit(name);
    const QString busy = QStringLiteral(
                             "Balíček %1 ve složce %2 právě stahuje nebo instaluje jiné spuštění "
                             "programu Selvanix; zkuste to znovu, až skončí.")
                             .arg(stem, shown);
    const std::optional<platform::FolderHandle> folder =
        platform::FolderHandle::open(installerFolder);
    if (!folder) {
        return refusal({platform::FileLock::Refusal::Unopened, errno, 0}, lockPath, busy,
                       installerFolder, true);
    }
    auto taken = platform::FileLock::take(*folder, name, platform::FileLock::Access::Write,
                                          platform::lockWait(wait));
    if (auto* lock = std::get_if<platform::FileLock>(&taken)) {
        return TargetLock(std::move(*lock), std::nullopt);
    }
    return refusal(std::get<platform::FileLock::Refused>(taken), lockPath, busy, installerFolder,
                   true);
}

TargetLock::TargetLock(platform::FileLock lock, std::optional<platform::FolderHandle> target)
    : lock_(std::move(lock)), target_(std::move(target)) {}

TargetLock::TargetLock(TargetLock&& other) noexcept
    : lock_(std::move(other.lock_)), target_(std::move(other.target_)) {
    other.target_.reset();
}

TargetLock::~TargetLock() {
    lock_.release();
    if (target_) {
        target_->removeEmptyFolder(kRecordsName);
    }
}

}  // namespace selvanix
