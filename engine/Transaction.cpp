#include "Transaction.h"

#include "Recovery.h"
#include "platform/StagedFile.h"

#include <unistd.h>
#include <QFile>

namespace selvanix {

TargetTransaction::TargetTransaction(platform::FolderHandle target, JournalFile file,
                                     Journal journal)
    : target_(std::move(target)), file_(std::move(file)), journal_(std::move(journal)) {}

TargetTransaction::TargetTransaction(TargetTransaction&& other) noexcept
    : target_(std::move(other.target_)),
      file_(std::move(other.file_)),
      journal_(std::move(other.journal_)),
      done_(other.done_) {
    other.done_ = true;
}

TargetTransaction::~TargetTransaction() {
    discard();
}

std::optional<TargetTransaction> TargetTransaction::begin(const platform::FolderHandle& target,
                                                          Journal::Kind kind,
                                                          const QByteArray& tag) {
    std::optional<platform::FolderHandle> own = target.reopen();
    Journal journal;
    journal.kind = kind;
    journal.tag = tag;
    std::optional<JournalFile> file = own ? JournalFile::begin(*own, journal) : std::nullopt;
    if (!file) {
        return std::nullopt;
    }
    return TargetTransaction(std::move(*own), std::move(*file), std::move(journal));
}

bool TargetTransaction::staging(const QString& path) {
    if (done_ || !isRecordedPath(path) || !file_->stage(path)) {
        return false;
    }
    journal_.staged.push_back(path);
    return true;
}

bool TargetTransaction::stageFile(const QString& path, const QByteArray& content,
                                  const struct stat* replaced) {
    if (!staging(path)) {
        return false;
    }
    const std::optional<FilePlace> place = placeOf(target_, path);
    std::optional<platform::StagedFile> staged =
        place ? platform::StagedFile::create(place->folder, place->leaf, journal_.tag)
              : std::nullopt;
    if (staged && replaced) {
        const int fd = staged->file().descriptor();
        ::fchmod(fd, replaced->st_mode & 07777);
        if (::fchown(fd, replaced->st_uid, replaced->st_gid) != 0) {
            // Only the owner matters to nobody but the superuser; keep going.
        }
    }
    return staged && staged->file().write(content) && staged->keep();
}

bool TargetTransaction::stageManifest(const Manifest& manifest) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target_, true);
    std::optional<platform::StagedFile> staged =
        records ? platform::StagedFile::create(*records, kManifestName, journal_.tag)
                : std::nullopt;
    return staged && staged->file().write(manifest.toText()) && staged->keep();
}

void TargetTransaction::addDevices(std::map<dev_t, platform::FolderHandle>& devices) const {
    const auto add = [&](const platform::FolderHandle& folder) {
        const dev_t device = folder.device();
        if (!devices.contains(device)) {
            if (std::optional<platform::FolderHandle> own = folder.reopen()) {
                devices.emplace(device, std::move(*own));
            }
        }
    };
    add(target_);
    std::set<QString> seen;
    for (const QString& path : journal_.staged) {
        const QString folder = path.left(std::max<qsizetype>(path.lastIndexOf(u'/'), 0));
        if (seen.insert(folder).second) {
            if (const std::optional<FilePlace> place = placeOf(target_, path)) {
                add(place->folder);
            }
        }
    }
}

bool TargetTransaction::commit() {
    if (done_ || !file_->commit()) {
        return false;
    }
    done_ = true;
    journal_.committed = true;
    file_.reset();
    return rollForward(target_, journal_);
}

void TargetTransaction::discard() {
    if (done_) {
        return;
    }
    done_ = true;
    file_.reset();
    undoStaged(target_, journal_);
}

bool syncDevices(const std::map<dev_t, platform::FolderHandle>& devices) {
    bool synced = true;
    for (const auto& [device, folder] : devices) {
        synced = folder.syncFileSystem() && synced;
    }
    return synced;
}

}  // namespace selvanix
