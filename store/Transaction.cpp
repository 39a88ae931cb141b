#include "Transaction.h"

#include "Recovery.h"
#include "archive/Crc32.h"
#include "platform/handles/StagedFile.h"

#include <unistd.h>
#include <QFile>
#include <set>

namespace selvanix {

namespace {

std::uint32_t crcOf(const QByteArray& bytes) {
    Crc32 crc;
    crc.update(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return crc.value();
}

}  // namespace

TargetTransaction::TargetTransaction(platform::FolderHandle target, JournalFile file,
                                     Journal journal)
    : target_(std::move(target)), file_(std::move(file)), journal_(std::move(journal)) {}

TargetTransaction::TargetTransaction(TargetTransaction&& other) noexcept
    : target_(std::move(other.target_)),
      file_(std::move(other.file_)),
      journal_(std::move(other.journal_)),
      files_(std::move(other.files_)),
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

bool TargetTransaction::written(const QString& path, const platform::StagedIdentity& file,
                                std::uint32_t crc) {
    const Manifest::Entry entry{path, static_cast<std::uint64_t>(file.size), crc};
    if (done_ || !file_->written(entry)) {
        return false;
    }
    journal_.written[path] = entry;
    files_[path] = file;
    return true;
}

bool TargetTransaction::makeFolders(const std::vector<QString>& files) {
    std::set<QString> seen;
    for (const QString& file : files) {
        QStringList folders = splitRecordedPath(file).first;
        std::optional<platform::FolderHandle> at = target_.reopen();
        QString path;
        for (const QString& folder : folders) {
            path += (path.isEmpty() ? QString() : QStringLiteral("/")) + folder;
            const QByteArray name = QFile::encodeName(folder);
            if (done_) {
                return false;
            }
            if (!at) {
                break;  // a link or a file on the way: that entry fails as it is extracted
            }
            if (!at->status(name) && seen.insert(path).second) {
                if (!file_->madeFolder(path)) {
                    return false;
                }
                journal_.madeFolders.push_back(path);
            }
            at = at->enter(name, true);
        }
    }
    return true;
}

bool TargetTransaction::dropping(const QString& path) {
    if (done_ || !isRecordedPath(path) || !file_->drop(path)) {
        return false;
    }
    journal_.dropped.push_back(path);
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
    return staged && staged->file().write(content) && staged->keep() &&
           written(path, staged->identity(), crcOf(content));
}

bool TargetTransaction::stageManifest(const Manifest& manifest) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target_, true);
    std::optional<platform::StagedFile> staged =
        records ? platform::StagedFile::create(*records, kManifestName, journal_.tag)
                : std::nullopt;
    const QByteArray text = manifest.toText();
    if (!staged || !staged->file().write(text) || !staged->keep()) {
        return false;
    }
    const QString name = QString::fromLatin1(kManifestName);
    const Manifest::Entry entry{name, static_cast<std::uint64_t>(text.size()), crcOf(text)};
    if (!file_->writtenRecord(entry)) {
        return false;
    }
    journal_.writtenRecord = entry;
    files_[QString::fromLatin1(kRecordsName) + u'/' + name] = staged->identity();
    return true;
}

std::optional<QString> TargetTransaction::missingStaged() const {
    const auto same = [&](const platform::FolderHandle& folder, const QByteArray& leaf,
                          const platform::StagedIdentity& file) {
        return platform::stillStaged(file, folder, platform::temporaryName(leaf, journal_.tag));
    };
    const std::optional<platform::FolderHandle> records = recordsFolder(target_, false);
    for (const auto& [path, file] : files_) {
        const bool record = !journal_.written.contains(path);
        const std::optional<FilePlace> place = record ? std::nullopt : placeOf(target_, path);
        const bool there = record ? records && same(*records, kManifestName, file)
                                  : place && same(place->folder, place->leaf, file);
        if (!there) {
            return path;
        }
    }
    return std::nullopt;
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

RollForward TargetTransaction::commit() {
    if (done_ || !file_->commit()) {
        return {};
    }
    files_.clear();  // a program still open for writing could not be started
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
    files_.clear();
    undoStaged(target_, journal_);
}

bool syncStaged(std::span<const TargetTransaction* const> staged) {
    std::map<dev_t, platform::FolderHandle> devices;
    for (const TargetTransaction* transaction : staged) {
        transaction->addDevices(devices);
    }
    return syncDevices(devices);
}

bool syncDevices(const std::map<dev_t, platform::FolderHandle>& devices) {
    bool synced = true;
    for (const auto& [device, folder] : devices) {
        synced = folder.syncFileSystem() && synced;
    }
    return synced;
}

}  // namespace selvanix
