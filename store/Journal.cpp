#include "Journal.h"
#include "config/Signature.h"

#include "platform/FaultPoint.h"

#include <unistd.h>
#include <QFile>
#include <QList>

namespace selvanix {

namespace {

const QByteArray kHeader = "selvanix-journal 1";
const QByteArray kName = "journal";

QByteArray kindName(Journal::Kind kind) {
    switch (kind) {
        case Journal::Kind::Repair:
            return "repair";
        case Journal::Kind::Rollback:
            return "rollback";
        case Journal::Kind::Install:
            break;
    }
    return "install";
}

bool isTag(const QByteArray& tag) {
    return signing::isLowerHex(tag, 16);
}

}  // namespace

QByteArray Journal::headerText() const {
    return kHeader + "\nkind " + kindName(kind) + "\ntag " + tag + '\n';
}

std::optional<Journal> Journal::fromText(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();  // the rest of a line cut by a kill, or nothing after the last break
    if (lines.size() < 3 || lines[0] != kHeader || !lines[1].startsWith("kind ") ||
        !lines[2].startsWith("tag ")) {
        return std::nullopt;
    }
    Journal j;
    const QByteArray kind = lines[1].mid(5);
    if (kind == "install") {
        j.kind = Kind::Install;
    } else if (kind == "repair") {
        j.kind = Kind::Repair;
    } else if (kind == "rollback") {
        j.kind = Kind::Rollback;
    } else {
        return std::nullopt;
    }
    j.tag = lines[2].mid(4);
    if (!isTag(j.tag)) {
        return std::nullopt;
    }
    for (qsizetype i = 3; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (j.committed) {
            return std::nullopt;  // nothing follows the commit record
        }
        if (line == "commit") {
            j.committed = true;
        } else if (line == "manifest restore") {
            j.restoreManifest = true;
        } else if (line.startsWith("stage ") || line.startsWith("restore ") ||
                   line.startsWith("folder ") || line.startsWith("drop ")) {
            const QString path = QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
            if (!isRecordedPath(path)) {
                return std::nullopt;
            }
            (line.startsWith("stage ")     ? j.staged
             : line.startsWith("restore ") ? j.restored
             : line.startsWith("folder ")  ? j.madeFolders
                                           : j.dropped)
                .push_back(path);
        } else if (line.startsWith("keep ") && line.count('\t') == 1) {
            const qsizetype tab = line.indexOf('\t');
            const QString path = QString::fromUtf8(line.mid(5, tab - 5));
            const QByteArray leaf = line.mid(tab + 1);
            if (!isRecordedPath(path) || !isRecordedPath(QString::fromUtf8(leaf)) ||
                leaf.contains('/')) {
                return std::nullopt;
            }
            j.keptAs[path] = leaf;
        } else if (line.startsWith("written ") || line.startsWith("written-record ")) {
            const std::optional<Manifest::Entry> entry =
                Manifest::Entry::fromText(line.mid(line.indexOf(' ') + 1));
            if (!entry) {
                return std::nullopt;
            }
            if (line.startsWith("written ")) {
                j.written[entry->path] = *entry;
            } else {
                j.writtenRecord = *entry;
            }
        } else if (line.startsWith("remove ")) {
            const std::optional<Manifest::Entry> entry = Manifest::Entry::fromText(line.mid(7));
            if (!entry) {
                return std::nullopt;
            }
            j.removed.push_back(*entry);
        } else {
            return std::nullopt;
        }
    }
    return j;
}

std::optional<JournalFile> JournalFile::begin(const platform::FolderHandle& target,
                                              const Journal& header) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target, true);
    if (!records) {
        return std::nullopt;
    }
    platform::fileStep();
    std::optional<platform::File> file = records->createFile(kName);
    if (!file) {
        return std::nullopt;
    }
    JournalFile journal(std::move(*file));
    if (!journal.append(header.headerText())) {
        records->remove(kName);
        return std::nullopt;
    }
    return journal;
}

bool JournalFile::append(const QByteArray& line) {
    platform::fileStep();
    return file_.write(line);
}

bool JournalFile::stage(const QString& path) {
    return append("stage " + path.toUtf8() + '\n');
}

bool JournalFile::written(const Manifest::Entry& file) {
    return append("written " + file.toText() + '\n');
}

bool JournalFile::writtenRecord(const Manifest::Entry& record) {
    return append("written-record " + record.toText() + '\n');
}

bool JournalFile::madeFolder(const QString& path) {
    return append("folder " + path.toUtf8() + '\n');
}

bool JournalFile::drop(const QString& path) {
    return append("drop " + path.toUtf8() + '\n');
}

bool JournalFile::keep(const QString& path, const QByteArray& keptLeaf) {
    return append("keep " + path.toUtf8() + '\t' + keptLeaf + '\n');
}

bool JournalFile::restore(const QString& path) {
    return append("restore " + path.toUtf8() + '\n');
}

bool JournalFile::remove(const Manifest::Entry& entry) {
    return append("remove " + entry.toText() + '\n');
}

bool JournalFile::restoreManifest() {
    return append("manifest restore\n");
}

bool JournalFile::commit() {
    return append("commit\n") && ::fdatasync(file_.descriptor()) == 0;
}

std::optional<Journal> readJournal(const platform::FolderHandle& target) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target, false);
    if (!records || !records->status(kName)) {
        return std::nullopt;
    }
    const std::optional<QByteArray> text = readBounded(*records, kName, kMaxJournalBytes);
    if (const std::optional<Journal> journal = text ? Journal::fromText(*text) : std::nullopt) {
        return journal;
    }
    return Journal{};  // damaged: nothing of it is acted on but its removal
}

bool removeJournal(const platform::FolderHandle& target) {
    const std::optional<platform::FolderHandle> records = recordsFolder(target, false);
    platform::fileStep();
    return !records || records->remove(kName) || !records->status(kName);
}

}  // namespace selvanix
