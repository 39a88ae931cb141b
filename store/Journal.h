#pragma once

#include "Manifest.h"
#include "platform/handles/FolderHandle.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace selvanix {

// What a run that changes a target is about to do, kept in T/.selvanix/journal until it is
// done, so a run killed on the way can be finished or undone by the next one. Lines are
// appended as the run goes: the header, one line per file it stages or touches, and the
// commit record once everything it needs is on disk.
struct Journal {
    enum class Kind { Install, Repair, Rollback };
    Kind kind = Kind::Install;
    QByteArray tag;               // the run's tag, in its temporary names
    std::vector<QString> staged;  // paths whose new file waits under the tag's name
    // Of those, the files written whole, with their size and CRC-32: once the commit record
    // is down, a missing temporary is taken as put in place only when its destination has
    // them.
    std::map<QString, Manifest::Entry> written;
    std::optional<Manifest::Entry> writtenRecord;  // the staged record, path "manifest"
    // Folders the run made, each journalled before it was made; an undone run removes them.
    std::vector<QString> madeFolders;
    // Install: files of the old record the new package no longer has, unchanged since; they
    // join the previous version at the commit.
    std::vector<QString> dropped;
    // Rollback: paths whose previous file goes back, the files the newer version added, the
    // files the user changed since with the name each is kept under, and the previous record.
    std::vector<QString> restored;
    std::vector<Manifest::Entry> removed;
    std::map<QString, QByteArray> keptAs;
    bool restoreManifest = false;
    bool committed = false;

    QByteArray headerText() const;
    static std::optional<Journal> fromText(const QByteArray& text);
};

inline constexpr qint64 kMaxJournalBytes = 16 << 20;

// The journal's lines, appended one write each to a file made new for the run.
class JournalFile {
public:
    // Fails when a journal is already there: that one is recovered first.
    static std::optional<JournalFile> begin(const platform::FolderHandle& target,
                                            const Journal& header);
    bool stage(const QString& path);
    // A staged file (or, for the path "manifest", the staged record) written whole.
    bool written(const Manifest::Entry& file);
    bool writtenRecord(const Manifest::Entry& record);
    bool madeFolder(const QString& path);
    bool drop(const QString& path);
    bool restore(const QString& path);
    bool keep(const QString& path, const QByteArray& keptLeaf);
    bool remove(const Manifest::Entry& entry);
    bool restoreManifest();
    // The commit record, down to the disk before anything it allows is done.
    bool commit();

private:
    explicit JournalFile(platform::File file) : file_(std::move(file)) {}
    bool append(const QByteArray& line);
    platform::File file_;
};

// The journal a target holds, read within the bound from the target's own handle; nothing
// when there is none. A damaged one reads as a journal that was never committed.
std::optional<Journal> readJournal(const platform::FolderHandle& target);
bool removeJournal(const platform::FolderHandle& target);

}  // namespace selvanix
