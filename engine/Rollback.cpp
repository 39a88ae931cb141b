#include "Rollback.h"

#include "Recovery.h"
#include "Uninstall.h"
#include "archive/Crc32.h"
#include "config/SettingsFile.h"
#include "platform/StagedFile.h"
#include "profile/PrivateProfile.h"

namespace selvanix {

namespace {

// The settings file is not in the record; it is removed only as it stands now.
std::optional<Manifest::Entry> settingsEntry(const platform::FolderHandle& target) {
    const QString path = QString::fromUtf16(kSettingsFileName);
    const std::optional<QByteArray> bytes =
        readBounded(target, splitRecordedPath(path).second, kMaxProfileBytes);
    if (!bytes) {
        return std::nullopt;
    }
    Crc32 crc;
    crc.update(bytes->constData(), static_cast<std::size_t>(bytes->size()));
    return Manifest::Entry{path, static_cast<std::uint64_t>(bytes->size()), crc.value()};
}

}  // namespace

RollbackResult rollBackTarget(const platform::FolderHandle& target, const TargetLock& held) {
    RollbackResult result;
    if (recoverTarget(target, held).state == Recovery::Failed) {
        return result;
    }
    const std::optional<Manifest> record = readManifest(target);
    if (!record) {
        result.outcome = RollbackResult::Outcome::NoRecord;
        return result;
    }
    if (!hasPreviousVersion(target)) {
        result.outcome = RollbackResult::Outcome::NoPrevious;
        return result;
    }
    Journal journal;
    journal.kind = Journal::Kind::Rollback;
    journal.tag = platform::randomTag();
    std::vector<Manifest::Entry> files = record->files;
    if (const std::optional<Manifest::Entry> settings = settingsEntry(target)) {
        files.push_back(*settings);
    }
    std::vector<Manifest::Entry> added;
    for (const Manifest::Entry& file : files) {
        const std::optional<FilePlace> place = placeOf(target, file.path);
        if (place && inPreviousVersion(*place)) {
            journal.restored.push_back(file.path);
        } else if (checkFile(target, file) == FileCheck::Matches) {
            journal.removed.push_back(file);
        } else if (place && place->folder.status(place->leaf)) {
            result.kept << file.path;
        }
    }
    journal.restoreManifest = previousVersionHasRecord(target);

    std::optional<JournalFile> file = JournalFile::begin(target, journal);
    bool written = file.has_value();
    for (const QString& path : journal.restored) {
        written = written && file->restore(path);
    }
    for (const Manifest::Entry& entry : journal.removed) {
        written = written && file->remove(entry);
    }
    written = written && (!journal.restoreManifest || file->restoreManifest()) && file->commit();
    if (!written) {
        if (file) {
            file.reset();
            removeJournal(target);
        }
        return result;
    }
    file.reset();
    journal.committed = true;
    const bool done = rollForward(target, journal).done;
    removeEmptyFolders(target, journal.removed);
    for (const QString& path : journal.restored) {
        result.restored << path;
    }
    for (const Manifest::Entry& entry : journal.removed) {
        result.removed << entry.path;
    }
    result.outcome = done ? RollbackResult::Outcome::RolledBack : RollbackResult::Outcome::Failed;
    return result;
}

}  // namespace selvanix
