#pragma once

#include "Journal.h"
#include "Recovery.h"
#include "platform/handles/StagedFile.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <map>
#include <set>
#include <span>

namespace selvanix {

// One target's share of a run that changes it. Each file is named in the target's journal
// before it is staged under the run's tag beside its destination; commit() then puts them
// all in place, discard() removes them all. Dropped without either, it discards.
class TargetTransaction {
public:
    // Nothing when the target cannot hold a journal, or holds one not yet recovered.
    static std::optional<TargetTransaction> begin(const platform::FolderHandle& target,
                                                  Journal::Kind kind, const QByteArray& tag);
    TargetTransaction(TargetTransaction&& other) noexcept;
    TargetTransaction& operator=(TargetTransaction&&) = delete;
    ~TargetTransaction();

    const platform::FolderHandle& target() const { return target_; }
    const QByteArray& tag() const { return journal_.tag; }

    // Journals a path (below the target, '/' between folders) before its file is staged.
    bool staging(const QString& path);
    // Journals a staged file as written whole: its size and CRC-32, and the file it is.
    bool written(const QString& path, const platform::StagedIdentity& file, std::uint32_t crc);
    // Makes the folders the files (paths below the target) lie in that are missing, each
    // journalled before it is made, so an undone run leaves none of them behind.
    bool makeFolders(const std::vector<QString>& files);
    // Journals an old file the new package no longer has: the commit moves it into the
    // previous version.
    bool dropping(const QString& path);
    // Stages a whole small file (the settings file), with the old one's mode and owner when
    // it replaces one.
    bool stageFile(const QString& path, const QByteArray& content,
                   const struct stat* replaced = nullptr);
    // Stages the record the commit puts in place of the old one.
    bool stageManifest(const Manifest& manifest);
    // A folder on each file system this target's staged files lie on.
    void addDevices(std::map<dev_t, platform::FolderHandle>& devices) const;

    // The first staged file that is no longer the one written (removed, or another in its
    // place), as its path below the target; nothing when all are there.
    std::optional<QString> missingStaged() const;
    // The commit record, then every staged file in place.
    RollForward commit();
    void discard();

private:
    TargetTransaction(platform::FolderHandle target, JournalFile file, Journal journal);

    platform::FolderHandle target_;
    std::optional<JournalFile> file_;
    Journal journal_;
    std::map<QString, platform::StagedIdentity> files_;  // the record under "manifest"
    bool done_ = false;
};

// Writes every file system down to its device once.
bool syncDevices(const std::map<dev_t, platform::FolderHandle>& devices);
// Writes what the transactions staged down to the devices, each file system once, before any
// of them commits.
bool syncStaged(std::span<const TargetTransaction* const> staged);
inline bool syncStaged(const TargetTransaction& staged) {
    const TargetTransaction* const one[] = {&staged};
    return syncStaged(one);
}

}  // namespace selvanix
