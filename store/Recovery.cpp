#include "Recovery.h"

#include "Transaction.h"

#include "archive/Crc32.h"

#include "config/SettingsFile.h"
#include "platform/FaultPoint.h"
#include "platform/handles/StagedFile.h"

#include <sys/stat.h>
#include <QFile>
#include <algorithm>
#include <map>
#include <vector>

namespace selvanix {

namespace {

const QByteArray kRecords = kRecordsName;
const QByteArray kManifest = kManifestName;
const QByteArray kPrevious = "previous";
const QByteArray kFiles = "files";

QByteArray newPrevious(const QByteArray& tag) {
    return "previous-" + tag;
}

// Where a replaced file goes: previous-TAG/files/... below its root's records.
std::optional<platform::FolderHandle> previousFolder(const FilePlace& place,
                                                     const QByteArray& previous, bool create) {
    std::optional<platform::FolderHandle> records = recordsFolder(place.root, create);
    std::optional<platform::FolderHandle> at =
        records ? records->enter(previous, create) : std::nullopt;
    at = at ? at->enter(kFiles, create) : std::nullopt;
    return at ? enterRecordedFolder(*at, place.belowRoot, create) : std::nullopt;
}

bool exists(const platform::FolderHandle& folder, const QByteArray& name) {
    return folder.status(name).has_value();
}

bool renameStep(const platform::FolderHandle& folder, const QByteArray& from,
                const QByteArray& to) {
    platform::fileStep();
    return folder.rename(from, to);
}

// Roots are told apart by their folder's identity, as a path may reach one twice.
using RootKey = std::pair<dev_t, ino_t>;
RootKey keyOf(const platform::FolderHandle& folder) {
    struct stat st {};
    ::fstat(folder.descriptor(), &st);
    return {st.st_dev, st.st_ino};
}

enum class Step { Done, Failed, Lost };

// A temporary that is gone was put in place by an earlier try only when its destination is
// the file that was written; otherwise somebody removed it, and nothing says what to put there.
Step missingTemporary(const platform::FolderHandle& target, const QString& path,
                      const Journal& journal) {
    const auto written = journal.written.find(path);
    if (written == journal.written.end()) {
        return Step::Done;  // never written whole: the entry failed and was left out
    }
    return checkFile(target, written->second) == FileCheck::Matches ? Step::Done : Step::Lost;
}

Step commitFile(const platform::FolderHandle& target, const QString& path, const FilePlace& place,
                const Journal& journal) {
    const QByteArray temp = platform::temporaryName(place.leaf, journal.tag);
    if (!exists(place.folder, temp)) {
        return missingTemporary(target, path, journal);
    }
    const std::optional<struct stat> old = place.folder.status(place.leaf);
    if (old && S_ISDIR(old->st_mode)) {
        // A folder made there since the file was staged: the file stays out, the rest goes in.
        place.folder.remove(temp);
        return Step::Failed;
    }
    if (old && journal.kind == Journal::Kind::Install) {
        const std::optional<platform::FolderHandle> previous =
            previousFolder(place, newPrevious(journal.tag), true);
        if (!previous) {
            return Step::Failed;
        }
        if (!exists(*previous, place.leaf)) {
            platform::fileStep();
            if (!place.folder.moveTo(place.leaf, *previous, place.leaf)) {
                return Step::Failed;
            }
        }
    }
    return renameStep(place.folder, temp, place.leaf) ? Step::Done : Step::Failed;
}

bool recordIs(const platform::FolderHandle& records, const Manifest::Entry& written) {
    const std::optional<QByteArray> text =
        readBounded(records, kManifest, static_cast<qint64>(written.size));
    if (!text || static_cast<std::uint64_t>(text->size()) != written.size) {
        return false;
    }
    Crc32 crc;
    crc.update(text->constData(), static_cast<std::size_t>(text->size()));
    return crc.value() == written.crc;
}

// The record of an installation: the old one joins the previous version, the new one takes
// its place.
Step commitManifest(const platform::FolderHandle& target, const Journal& journal) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target, true);
    if (!records) {
        return Step::Failed;
    }
    const QByteArray temp = platform::temporaryName(kManifest, journal.tag);
    if (!exists(*records, temp)) {
        return !journal.writtenRecord || recordIs(*records, *journal.writtenRecord) ? Step::Done
                                                                                    : Step::Lost;
    }
    if (exists(*records, kManifest)) {
        const std::optional<platform::FolderHandle> previous =
            records->enter(newPrevious(journal.tag), true);
        if (!previous) {
            return Step::Failed;
        }
        platform::fileStep();
        if (!exists(*previous, kManifest) && !records->moveTo(kManifest, *previous, kManifest)) {
            return Step::Failed;
        }
    }
    return renameStep(*records, temp, kManifest) ? Step::Done : Step::Failed;
}

// One previous version is kept: this run's replaces the one before. Once it has, there is no
// new one left to move.
bool keepPrevious(const platform::FolderHandle& root, const Journal& journal) {
    const std::optional<platform::FolderHandle> records = recordsFolder(root, false);
    const QByteArray fresh = newPrevious(journal.tag);
    if (!records || !exists(*records, fresh)) {
        return true;
    }
    platform::fileStep();
    return records->removeTree(kPrevious) && renameStep(*records, fresh, kPrevious);
}

// An old file the new package no longer has joins the previous version, as a replaced one.
bool dropFile(const FilePlace& place, const Journal& journal) {
    if (!exists(place.folder, place.leaf)) {
        return true;  // moved by an earlier try, or gone
    }
    const std::optional<platform::FolderHandle> previous =
        previousFolder(place, newPrevious(journal.tag), true);
    if (!previous) {
        return false;
    }
    platform::fileStep();
    return exists(*previous, place.leaf) || place.folder.moveTo(place.leaf, *previous, place.leaf);
}

// A file the user changed since it was installed steps aside before the previous one comes
// back; once that is back, there is nothing left to move.
bool keepBeside(const FilePlace& place, const QByteArray& keptLeaf) {
    if (!inPreviousVersion(place) || !exists(place.folder, place.leaf) ||
        exists(place.folder, keptLeaf)) {
        return true;
    }
    platform::fileStep();
    return place.folder.moveTo(place.leaf, place.folder, keptLeaf);
}

bool restoreFile(const FilePlace& place) {
    const std::optional<platform::FolderHandle> previous = previousFolder(place, kPrevious, false);
    if (!previous || !exists(*previous, place.leaf)) {
        return true;  // put back by an earlier try
    }
    platform::fileStep();
    return ::renameat(previous->descriptor(), place.leaf.constData(), place.folder.descriptor(),
                      place.leaf.constData()) == 0;
}

bool removeAdded(const platform::FolderHandle& target, const Manifest::Entry& entry) {
    if (checkFile(target, entry) != FileCheck::Matches) {
        return true;  // gone already, or changed since: the user's now
    }
    const std::optional<FilePlace> place = placeOf(target, entry.path);
    platform::fileStep();
    return place && place->folder.remove(place->leaf);
}

bool rollBackManifest(const platform::FolderHandle& target, const Journal& journal) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target, false);
    if (!records) {
        return true;
    }
    if (!journal.restoreManifest) {
        records->remove(kManifest);
        return !exists(*records, kManifest);
    }
    const std::optional<platform::FolderHandle> previous = records->enter(kPrevious, false);
    if (!previous || !exists(*previous, kManifest)) {
        return true;
    }
    platform::fileStep();
    return ::renameat(previous->descriptor(), kManifest.constData(), records->descriptor(),
                      kManifest.constData()) == 0;
}

}  // namespace

std::optional<FilePlace> placeOf(const platform::FolderHandle& target, const QString& path) {
    const auto [folders, leaf] = splitRecordedPath(path);
    std::optional<platform::FolderHandle> at = target.reopen();
    std::optional<platform::FolderHandle> root = target.reopen();
    if (!at || !root) {
        return std::nullopt;
    }
    QStringList below;
    for (const QString& part : folders) {
        std::optional<platform::FolderHandle> next = at->enter(QFile::encodeName(part), false);
        if (!next) {
            return std::nullopt;
        }
        below << part;
        if (next->device() != at->device()) {
            root = next->reopen();
            below.clear();
            if (!root) {
                return std::nullopt;
            }
        }
        at = std::move(next);
    }
    return FilePlace{std::move(*at), leaf, std::move(*root), below};
}

namespace {

// Where a journal's files are and what the commit touches: each root once (for its previous
// version) and each device once (for the sync); lost gathers the files that are gone.
struct CommitPlan {
    std::vector<std::pair<QString, FilePlace>> places;
    std::vector<FilePlace> drops;
    QStringList lost;
    std::map<RootKey, platform::FolderHandle> roots;
    std::map<dev_t, platform::FolderHandle> devices;

    void note(const platform::FolderHandle& root, const platform::FolderHandle& in) {
        if (std::optional<platform::FolderHandle> own = root.reopen()) {
            roots.emplace(keyOf(*own), std::move(*own));
        }
        if (std::optional<platform::FolderHandle> own = in.reopen()) {
            devices.emplace(own->device(), std::move(*own));
        }
    }
    // Whether the step put its file in place; a lost one is named.
    bool committed(Step step, const QString& path) {
        if (step == Step::Lost) {
            lost << path;
        }
        return step == Step::Done;
    }
};

CommitPlan planCommit(const platform::FolderHandle& target, const Journal& journal) {
    CommitPlan plan;
    const std::vector<QString>& paths =
        journal.kind == Journal::Kind::Rollback ? journal.restored : journal.staged;
    for (const QString& path : paths) {
        if (std::optional<FilePlace> place = placeOf(target, path)) {
            plan.places.emplace_back(path, std::move(*place));
        } else if (journal.kind != Journal::Kind::Rollback &&
                   missingTemporary(target, path, journal) == Step::Lost) {
            plan.lost << path;  // its folder is gone, and the written file with it
        }
    }
    plan.note(target, target);
    for (const QString& path : journal.dropped) {
        if (std::optional<FilePlace> place = placeOf(target, path)) {
            plan.drops.push_back(std::move(*place));
        }
    }
    for (const auto& [path, place] : plan.places) {
        plan.note(place.root, place.folder);
    }
    for (const FilePlace& place : plan.drops) {
        plan.note(place.root, place.folder);
    }
    return plan;
}

bool commitInstall(const platform::FolderHandle& target, const Journal& journal, CommitPlan& plan) {
    bool whole = true;
    // Until the record is in place, every root gets this run's previous version, also one
    // that replaces nothing there.
    const std::optional<platform::FolderHandle> records = recordsFolder(target, false);
    if (records && exists(*records, platform::temporaryName(kManifest, journal.tag))) {
        for (const auto& [key, root] : plan.roots) {
            const std::optional<platform::FolderHandle> own = recordsFolder(root, true);
            whole = own && own->enter(newPrevious(journal.tag), true) && whole;
        }
    }
    for (const auto& [path, place] : plan.places) {
        whole = plan.committed(commitFile(target, path, place, journal), path) && whole;
    }
    for (const FilePlace& place : plan.drops) {
        whole = dropFile(place, journal) && whole;
    }
    whole = plan.committed(commitManifest(target, journal),
                           QString::fromLatin1(kRecords) + u'/' + QString::fromLatin1(kManifest)) &&
            whole;
    for (const auto& [key, root] : plan.roots) {
        whole = keepPrevious(root, journal) && whole;
    }
    return whole;
}

bool commitRepair(const platform::FolderHandle& target, const Journal& journal, CommitPlan& plan) {
    bool whole = true;
    for (const auto& [path, place] : plan.places) {
        whole = plan.committed(commitFile(target, path, place, journal), path) && whole;
    }
    return whole;
}

bool commitRollback(const platform::FolderHandle& target, const Journal& journal,
                    const CommitPlan& plan) {
    bool whole = true;
    for (const auto& [path, place] : plan.places) {
        const auto kept = journal.keptAs.find(path);
        whole = (kept == journal.keptAs.end() || keepBeside(place, kept->second)) &&
                restoreFile(place) && whole;
    }
    for (const Manifest::Entry& entry : journal.removed) {
        whole = removeAdded(target, entry) && whole;
    }
    whole = rollBackManifest(target, journal) && whole;
    for (const auto& [key, root] : plan.roots) {
        if (std::optional<platform::FolderHandle> records = recordsFolder(root, false)) {
            whole = records->removeTree(kPrevious) && whole;
        }
    }
    return whole;
}

}  // namespace

RollForward rollForward(const platform::FolderHandle& target, const Journal& journal) {
    CommitPlan plan = planCommit(target, journal);
    bool whole = false;
    switch (journal.kind) {
        case Journal::Kind::Install:
            whole = commitInstall(target, journal, plan);
            break;
        case Journal::Kind::Repair:
            whole = commitRepair(target, journal, plan);
            break;
        case Journal::Kind::Rollback:
            whole = commitRollback(target, journal, plan);
            break;
    }
    // The renames reach the disk before the journal that would redo them goes; a journal
    // with a lost file stays, as nothing else tells what the target should hold.
    const bool done =
        syncDevices(plan.devices) && whole && plan.lost.isEmpty() && removeJournal(target);
    return RollForward{done, plan.lost};
}

void undoStaged(const platform::FolderHandle& target, const Journal& journal) {
    for (const QString& path : journal.staged) {
        if (const std::optional<FilePlace> place = placeOf(target, path)) {
            place->folder.remove(platform::temporaryName(place->leaf, journal.tag));
        }
    }
    if (!journal.tag.isEmpty()) {
        if (const std::optional<platform::FolderHandle> records = recordsFolder(target, false)) {
            records->remove(platform::temporaryName(kManifest, journal.tag));
        }
    }
    // Deepest first, and only when empty: what the user put there since stays.
    std::vector<QString> folders = journal.madeFolders;
    std::sort(folders.begin(), folders.end(),
              [](const QString& a, const QString& b) { return a.count(u'/') > b.count(u'/'); });
    for (const QString& folder : folders) {
        const auto [above, leaf] = splitRecordedPath(folder);
        if (const auto parent = enterRecordedFolder(target, above)) {
            parent->removeEmptyFolder(leaf);
        }
    }
    removeJournal(target);
    target.removeEmptyFolder(kRecords);  // made for this run's journal alone
}

Recovered recoverTarget(const platform::FolderHandle& target, const TargetLock&) {
    const std::optional<Journal> journal = readJournal(target);
    if (!journal) {
        return {Recovery::Clean, {}};
    }
    if (journal->committed) {
        const RollForward done = rollForward(target, *journal);
        return {done.done ? Recovery::RolledForward : Recovery::Failed, done.lost};
    }
    undoStaged(target, *journal);
    return {Recovery::Undone, {}};
}

bool inPreviousVersion(const FilePlace& place) {
    const std::optional<platform::FolderHandle> previous = previousFolder(place, kPrevious, false);
    return previous && exists(*previous, place.leaf);
}

bool hasPreviousVersion(const platform::FolderHandle& target) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target, false);
    return records && records->enter(kPrevious, false).has_value();
}

bool previousVersionHasRecord(const platform::FolderHandle& target) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target, false);
    const std::optional<platform::FolderHandle> previous =
        records ? records->enter(kPrevious, false) : std::nullopt;
    return previous && exists(*previous, kManifest);
}

// Only a target no run holds: a journal whose run still goes on is that run's.
void recoverNamedTargets(const StoredSettings& settings) {
    for (const std::optional<QString>& target : settings.targets) {
        const std::optional<platform::FolderHandle> folder =
            target && !target->isEmpty() ? platform::FolderHandle::open(*target) : std::nullopt;
        if (folder && readJournal(*folder)) {
            const auto lock = TargetLock::take(*folder, *target, TargetLock::kNoWait);
            if (const TargetLock* held = std::get_if<TargetLock>(&lock)) {
                recoverTarget(*folder, *held);
            }
        }
    }
}

}  // namespace selvanix
