#pragma once

#include "Journal.h"
#include "TargetLock.h"
#include "config/SettingsFile.h"

#include <sys/types.h>
#include <set>

namespace selvanix {

// Carries out a committed journal: every staged file replaces its old one (an installation
// moves the old one into the previous version first), the record follows, and for a rollback
// the previous version goes back. Each step looks at the disk first, so it may run again
// after a kill at any point and ends in the same place. The journal is removed last, after
// the file systems it touched are on their devices.
struct RollForward {
    bool done = false;
    // Files whose temporary was gone while their destination is not what was written:
    // nothing tells what they should be, so the journal stays.
    QStringList lost;
};
RollForward rollForward(const platform::FolderHandle& target, const Journal& journal);

// Removes what a journal that was never committed left: its temporary files, then the
// journal. The target's files are as they were before that run.
void undoStaged(const platform::FolderHandle& target, const Journal& journal);

enum class Recovery { Clean, RolledForward, Undone, Failed };
struct Recovered {
    Recovery state = Recovery::Clean;
    QStringList lost;  // when Failed: the files the journal could not put in place
};
// Acts on a journal a killed run left in the target, if any. Only the holder of the target's
// lock may: without it the journal may be a live run's.
Recovered recoverTarget(const platform::FolderHandle& target, const TargetLock& held);

// The folder a recorded path's file lies in, and the folder its journal's previous version
// lives below: the target, or the topmost folder of the file's own file system when the path
// crosses a mount, so a file is moved, never copied.
struct FilePlace {
    platform::FolderHandle folder;
    QByteArray leaf;
    platform::FolderHandle root;
    QStringList belowRoot;  // the folders from root to folder
};
std::optional<FilePlace> placeOf(const platform::FolderHandle& target, const QString& path);
// Whether the kept previous version holds a file for that place.
bool inPreviousVersion(const FilePlace& place);
// Whether the target keeps a previous version at all.
bool hasPreviousVersion(const platform::FolderHandle& target);
// Whether the kept previous version has its own record (none when it came before any).
bool previousVersionHasRecord(const platform::FolderHandle& target);

// Recovers the targets the settings name, as every start of Selvanix does; a target another
// run holds is left to it.
void recoverNamedTargets(const StoredSettings& settings);

}  // namespace selvanix
