#include "Rollback.h"

#include "Recovery.h"
#include "Uninstall.h"
#include "archive/Crc32.h"
#include "config/SettingsFile.h"
#include "platform/handles/StagedFile.h"
#include "profile/PrivateProfile.h"

#include <QFile>
#include <set>

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

// A name beside the file that nothing stands at yet: NAME.kept, else NAME.kept-2 and on.
QByteArray keptName(const FilePlace& place) {
    for (int n = 1; n < 1000; ++n) {
        const QByteArray name =
            place.leaf + ".kept" + (n == 1 ? QByteArray() : '-' + QByteArray::number(n));
        if (name.size() <= 255 && !place.folder.status(name)) {
            return name;
        }
    }
    return {};
}

// The record the kept previous version came with, if it has one.
std::optional<Manifest> previousRecord(const platform::FolderHandle& target) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target, false);
    const std::optional<platform::FolderHandle> previous =
        records ? records->enter("previous", false) : std::nullopt;
    const std::optional<QByteArray> text =
        previous ? readBounded(*previous, kManifestName, kMaxManifestBytes) : std::nullopt;
    return text ? Manifest::fromText(*text) : std::nullopt;
}

// What a rollback looks at: the recorded files, the settings file as it stands, and the files
// the newer version dropped, which come back too; nothing stands in their place unless the
// user put it there.
std::vector<Manifest::Entry> filesToRollBack(const platform::FolderHandle& target,
                                             const Manifest& record) {
    std::vector<Manifest::Entry> files = record.files;
    if (const std::optional<Manifest::Entry> settings = settingsEntry(target)) {
        files.push_back(*settings);
    }
    std::set<QString> listed;
    for (const Manifest::Entry& file : files) {
        listed.insert(file.path);
    }
    const std::optional<Manifest> previous = previousRecord(target);
    for (const Manifest::Entry& file :
         previous ? previous->files : std::vector<Manifest::Entry>{}) {
        if (!listed.contains(file.path)) {
            files.push_back({file.path, 0, 0});
            listed.insert(file.path);
        }
    }
    return files;
}

// The rollback's journal: files restored (a changed one kept beside first), files added by the
// newer version removed; the changed files it leaves go into kept. Nothing when a changed
// file has no free name beside it.
std::optional<Journal> planRollback(const platform::FolderHandle& target,
                                    const std::vector<Manifest::Entry>& files, QStringList& kept) {
    Journal journal;
    journal.kind = Journal::Kind::Rollback;
    journal.tag = platform::randomTag();
    for (const Manifest::Entry& file : files) {
        const std::optional<FilePlace> place = placeOf(target, file.path);
        const bool stands = place && place->folder.status(place->leaf).has_value();
        if (place && inPreviousVersion(*place)) {
            journal.restored.push_back(file.path);
            // A file changed since it was installed is the user's: it steps aside, never over.
            if (stands && checkFile(target, file) != FileCheck::Matches) {
                const QByteArray beside = keptName(*place);
                if (beside.isEmpty()) {
                    return std::nullopt;
                }
                journal.keptAs[file.path] = beside;
            }
        } else if (checkFile(target, file) == FileCheck::Matches) {
            journal.removed.push_back(file);
        } else if (stands) {
            kept << file.path;
        }
    }
    journal.restoreManifest = previousVersionHasRecord(target);
    return journal;
}

// The journal down whole with its commit line; none at all when it could not be.
bool writeJournal(const platform::FolderHandle& target, const Journal& journal) {
    std::optional<JournalFile> file = JournalFile::begin(target, journal);
    bool written = file.has_value();
    for (const QString& path : journal.restored) {
        written = written && file->restore(path);
    }
    for (const auto& [path, kept] : journal.keptAs) {
        written = written && file->keep(path, kept);
    }
    for (const Manifest::Entry& entry : journal.removed) {
        written = written && file->remove(entry);
    }
    written = written && (!journal.restoreManifest || file->restoreManifest()) && file->commit();
    if (!written && file) {
        file.reset();
        removeJournal(target);
    }
    return written;
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
    std::optional<Journal> planned =
        planRollback(target, filesToRollBack(target, *record), result.kept);
    if (!planned || !writeJournal(target, *planned)) {
        return result;
    }
    Journal& journal = *planned;
    journal.committed = true;
    const bool done = rollForward(target, journal).done;
    removeEmptyFolders(target, journal.removed);
    for (const QString& path : journal.restored) {
        result.restored << path;
    }
    for (const Manifest::Entry& entry : journal.removed) {
        result.removed << entry.path;
    }
    for (const auto& [path, kept] : journal.keptAs) {
        const QStringList parts = path.split(u'/').mid(0, path.count(u'/'));
        result.keptBeside.push_back({path, (parts.isEmpty() ? QString() : parts.join(u'/') + u'/') +
                                               QFile::decodeName(kept)});
    }
    result.outcome = done ? RollbackResult::Outcome::RolledBack : RollbackResult::Outcome::Failed;
    return result;
}

}  // namespace selvanix
