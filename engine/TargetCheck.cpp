#include "TargetCheck.h"

#include "FailureDetail.h"
#include "platform/Paths.h"
#include "platform/handles/FolderHandle.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <map>

namespace selvanix {

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

QString mib(std::uint64_t bytes) {
    return QString::number((bytes + kMiB - 1) / kMiB);
}

struct Disk {
    std::uint64_t bytes = 0;
    std::uint64_t available = 0;
    QString firstTarget;
};

struct Place {
    dev_t device = 0;
    std::uint64_t available = 0;
};

std::uint64_t availableOn(const platform::FolderHandle& folder) {
    struct statvfs fs {};
    return ::fstatvfs(folder.descriptor(), &fs) == 0
               ? static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize
               : 0;
}

// The file system a file will lie on: that of the deepest folder of its path there now.
Place placeFor(const platform::FolderHandle& target, const QString& path,
               std::map<QString, Place>& known) {
    const QString folder = path.left(std::max<qsizetype>(path.lastIndexOf(u'/'), 0));
    if (const auto at = known.find(folder); at != known.end()) {
        return at->second;
    }
    std::optional<platform::FolderHandle> at = target.reopen();
    std::optional<platform::FolderHandle> deepest = target.reopen();
    for (const QString& part : folder.split(u'/', Qt::SkipEmptyParts)) {
        at = at ? at->enter(QFile::encodeName(part), false) : std::nullopt;
        if (!at) {
            break;
        }
        deepest = at->reopen();
    }
    const Place place = deepest ? Place{deepest->device(), availableOn(*deepest)} : Place{};
    known.emplace(folder, place);
    return place;
}

std::optional<QString> folderProblem(const QString& target,
                                     std::optional<platform::FolderHandle>& opened) {
    opened = platform::FolderHandle::open(target);
    if (!opened) {
        return errno == ENOTDIR
                   ? QStringLiteral("Cíl %1 není složka.").arg(platform::displayPath(target))
                   : missingTarget(target);
    }
    struct statvfs fs {};
    const bool readOnly = ::fstatvfs(opened->descriptor(), &fs) == 0 && (fs.f_flag & ST_RDONLY);
    if (readOnly || ::faccessat(opened->descriptor(), ".", W_OK, AT_EACCESS) != 0) {
        return unwritableTarget(target);
    }
    return std::nullopt;
}

}  // namespace

std::uint64_t roomNeeded(std::uint64_t bytes) {
    return bytes + bytes / 100 + 16 * kMiB;
}

std::optional<TargetProblem> ownFolderProblem(const QStringList& targets,
                                              const QString& dataFolder) {
    const std::optional<platform::FolderHandle> own =
        platform::FolderHandle::openHost(QFile::encodeName(dataFolder));
    for (const QString& target : targets) {
        const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
        if (own && folder && folder->isWithin(*own)) {
            return TargetProblem{target, installersOwnFolder(target)};
        }
    }
    return std::nullopt;
}

std::optional<TargetProblem> checkTargets(const QStringList& targets,
                                          const std::vector<PlannedFile>& files) {
    std::map<dev_t, Disk> disks;
    for (const QString& target : targets) {
        std::optional<platform::FolderHandle> folder;
        if (const std::optional<QString> problem = folderProblem(target, folder)) {
            return TargetProblem{target, *problem};
        }
        std::map<QString, Place> known;
        for (const PlannedFile& file : files) {
            const Place place = placeFor(*folder, file.path, known);
            Disk& disk = disks[place.device];
            if (disk.firstTarget.isEmpty()) {
                disk.firstTarget = target;
                disk.available = place.available;
            }
            disk.bytes += file.size;
        }
    }
    for (const auto& [device, disk] : disks) {
        const std::uint64_t needed = roomNeeded(disk.bytes);
        if (disk.available < needed) {
            return TargetProblem{
                disk.firstTarget,
                QStringLiteral("Na disku se složkou %1 není dost místa: potřebuji %2 MiB, "
                               "volných je %3 MiB.")
                    .arg(platform::displayPath(disk.firstTarget), mib(needed),
                         QString::number(disk.available / kMiB))};
        }
    }
    return std::nullopt;
}

}  // namespace selvanix
