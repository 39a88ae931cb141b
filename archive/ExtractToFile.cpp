// One selected entry to one file below the base folder. The folders on the way are entered
// one by one from a handle on the base folder, never through a symbolic link. When something
// stands at the entry's name, the entry is decoded into a temporary file beside it, which
// replaces it (a link itself, never its target) only when the entry decoded soundly, so a
// failed, skipped or cancelled entry leaves the previous file as it was; a new name is made
// the same way, so it never holds a cut file.
#include "ArcException.h"
#include "ArcOutput.h"
#include "Pakovna.h"
#include "platform/DriveMap.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/handles/File.h"
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

#include <sys/stat.h>
#include <QDateTime>
#include <QFile>
#include <QTimeZone>
#include <cerrno>
#include <optional>

namespace selvanix {

namespace {

// The name with "." and ".." components resolved, or nothing when it would write outside the
// base folder or holds what no file system should get.
std::optional<QString> safeEntryName(const QString& name) {
    if (name.isEmpty() || name.contains(u':') || name.startsWith(u'\\') || name.startsWith(u'/')) {
        return std::nullopt;
    }
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            return std::nullopt;
        }
    }
    QStringList kept;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != u'\\' && name[i] != u'/') {
            continue;
        }
        const QStringView part = QStringView(name).mid(start, i - start);
        start = i + 1;
        if (part == u"..") {
            if (kept.isEmpty()) {
                return std::nullopt;
            }
            kept.removeLast();
        } else if (!part.isEmpty() && part != u".") {
            kept.append(part.toString());
        }
    }
    // The installer's own records of a target are never an entry's to write.
    for (const QString& part : kept) {
        if (part.compare(QLatin1String(".selvanix"), Qt::CaseInsensitive) == 0) {
            return std::nullopt;
        }
    }
    QString safe = kept.join(u'\\');
    if (name.endsWith(u'/') || name.endsWith(u'\\')) {
        safe += u'\\';
    }
    return safe;
}

// Local time, through a zone read once per call rather than the C library's, which looks at
// /etc/localtime again for every conversion.
QDateTime fromDos(std::uint16_t date, std::uint16_t time, const QTimeZone& zone) {
    const QDate d(1980 + (date >> 9), (date >> 5) & 15, date & 31);
    const QTime t(time >> 11, (time >> 5) & 63, (time & 31) * 2);
    return QDateTime(d, t, zone);
}

std::uint32_t toDos(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return (static_cast<std::uint32_t>(((d.year() - 1980) << 9) | (d.month() << 5) | d.day())
            << 16) |
           static_cast<std::uint32_t>((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
}

// The permission bits the new file gets: an entry made on Unix keeps its own, within what
// the umask allows and without set-uid, set-gid and sticky; any other entry is writable
// unless it is marked read-only.
unsigned entryMode(const TDirItem& item, std::uint32_t attributes, unsigned umask) {
    const unsigned stored = (attributes >> 16) & 0777;
    if ((item.CentralDir.versionMadeBy >> 8) == 3 && stored != 0) {
        return stored & ~umask;
    }
    unsigned mode = 0666 & ~umask;
    if ((attributes & platform::FILE_ATTRIBUTE_READONLY) != 0) {
        mode &= ~0222u;
    }
    return mode;
}

// What an entry made on Unix is on disk: a folder or a regular file, never a special file. A
// pipe, socket or device is written as a regular file with its data (zip reading standard
// input records the pipe's mode, and every other extractor writes the data); a link, or a
// type no file has, stays what it says and is refused. Without a type: 0.
unsigned unixType(const TDirItem& item, std::uint32_t attributes) {
    const unsigned type =
        (item.CentralDir.versionMadeBy >> 8) == 3 ? (attributes >> 16) & S_IFMT : 0;
    switch (type) {
        case S_IFIFO:
        case S_IFSOCK:
        case S_IFCHR:
        case S_IFBLK:
            return S_IFREG;
        default:
            return type;
    }
}

QByteArray hostName(const QString& component) {
    return QFile::encodeName(component);
}

}  // namespace

const platform::FolderHandle& TPakovna::enterBelow(const platform::FolderHandle& start,
                                                   const QStringList& components,
                                                   const QString& walkedFrom, const QString& target,
                                                   std::optional<platform::FolderHandle>& kept) {
    QString walked = walkedFrom;
    const platform::FolderHandle* from = &start;
    for (const QString& component : components) {
        if (component.isEmpty()) {
            continue;
        }
        walked += component;
        platform::FolderHandle::Refusal why = platform::FolderHandle::Refusal::None;
        auto next = from->enter(hostName(component), Options.CreateDirs, &why);
        if (!next) {
            if (why == platform::FolderHandle::Refusal::Link) {
                errno = ELOOP;  // the cause a reader is told: a link on the way
                raise(ARC_ERROR_CANNOT_CREATE_FILE, target);  // never written through a link
            }
            raise(ARC_ERROR_CANNOT_CREATE_DIR, walked);
        }
        kept = std::move(next);
        from = &*kept;
        walked += u'\\';
    }
    return *from;
}

void TPakovna::openBaseFolder(const QString& baseDir, const QString& target) {
    // Only the anchor (the target the user chose) may be reached through links; what lies
    // between it and the base folder is entered like an entry's folders.
    QString anchor = baseAnchor_;
    while (anchor.endsWith(u'\\') || anchor.endsWith(u'/')) {
        anchor.chop(1);
    }
    const bool anchored = !anchor.isEmpty() && baseDir.startsWith(anchor + u'\\');
    const QString opened = anchored ? anchor : baseDir;
    std::optional<platform::FolderHandle> root = platform::FolderHandle::open(opened);
    if (!root && Options.CreateDirs && platform::createFolder(opened)) {
        root = platform::FolderHandle::open(opened);
    }
    if (!root) {
        raise(ARC_ERROR_CANNOT_CREATE_DIR, opened);
    }
    if (anchored) {
        std::optional<platform::FolderHandle> below;
        enterBelow(*root, baseDir.mid(anchor.size() + 1).split(u'\\'), anchor + u'\\', target,
                   below);
        if (below) {
            root = std::move(below);
        }
    }
    baseFolder_ = std::move(root);
    baseFolderPath_ = baseDir;
}

const platform::FolderHandle& TPakovna::folderFor(const QString& baseDir, const QString& folderPart,
                                                  const QString& target) {
    if (!baseFolder_ || baseFolderPath_ != baseDir) {
        baseFolder_.reset();
        folders_.clear();
        openBaseFolder(baseDir, target);
    }
    if (folderPart.isEmpty()) {
        return *baseFolder_;
    }
    // Entries of one folder usually follow each other, and packages alternate between a few.
    for (auto at = folders_.begin(); at != folders_.end(); ++at) {
        if (at->first == folderPart) {
            folders_.splice(folders_.begin(), folders_, at);
            return folders_.front().second;
        }
    }
    std::optional<platform::FolderHandle> entered;
    enterBelow(*baseFolder_, folderPart.split(u'\\'), baseDir, target, entered);
    if (!entered) {
        return *baseFolder_;
    }
    folders_.emplace_front(folderPart, std::move(*entered));
    if (folders_.size() > kKeptFolders) {
        folders_.pop_back();
    }
    return folders_.front().second;
}

std::optional<QString> TPakovna::landingPath(const QString& entryName) {
    std::optional<QString> safe = safeEntryName(entryName);
    if (safe) {
        safe->replace(u'\\', u'/');
    }
    return safe;
}

void TPakovna::extractToFile(int index, const QString& entryName, const QString& baseDir) {
    const TDirItem& item = directory().Item(index);
    QString f = entryName;
    std::uint32_t attributes = item.CentralDir.externalAttr;
    if (OnExtractFile) {
        OnExtractFile(*this, f, attributes, item.Comment);
    }
    const std::optional<QString> safe = safeEntryName(f);
    if (!safe || safe->isEmpty()) {
        raise(ARC_ERROR_CANNOT_CREATE_FILE, f);
    }
    f = *safe;
    // An entry made on Unix is a folder or a regular file as its type says; a link is never
    // made. Without a type the folder attribute decides.
    const unsigned type = unixType(item, attributes);
    if (type != 0 && type != S_IFREG && type != S_IFDIR) {
        raise(ARC_ERROR_CANNOT_CREATE_FILE, baseDir + f);
    }
    const bool folderEntry =
        (type != 0 ? type == S_IFDIR : (attributes & ZipAttribute::Directory) != 0) ||
        item.Name.endsWith(u'/');
    if (folderEntry && !f.endsWith(u'\\')) {
        f += u'\\';
    }
    const qsizetype slash = f.lastIndexOf(u'\\');
    QString folderPart = slash > 0 ? f.left(slash) : QString();
    if (!Options.CreateDirs) {
        f = f.mid(slash + 1);
        folderPart.clear();
    }
    const QString target = baseDir + f;
    const platform::FolderHandle& folder = folderFor(baseDir, folderPart, target);
    if (folderEntry) {
        return;
    }
    const QByteArray leaf = hostName(f.mid(f.lastIndexOf(u'\\') + 1));

    // Most names are new: made at once. Otherwise what stands there is judged as itself (a
    // link too) and replaced.
    std::optional<struct stat> existing = folder.status(leaf);
    if (existing && S_ISDIR(existing->st_mode)) {
        raise(ARC_ERROR_CANNOT_CREATE_FILE, target);
    }
    if (existing && !mayReplace(item, *existing, f, target)) {
        return;
    }
    writeEntry(index, attributes, folder, leaf, f, target);
}

// Whether the file that stands at the entry's name gives way, by the overwrite mode.
bool TPakovna::mayReplace(const TDirItem& item, const struct stat& existing, const QString& f,
                          const QString& target) {
    const bool readOnly = S_ISREG(existing.st_mode) && (existing.st_mode & 0222) == 0;
    if (!Options.ReplaceReadOnly && readOnly) {
        return false;
    }
    const std::uint32_t entryTime =
        (static_cast<std::uint32_t>(item.CentralDir.lastModDate) << 16) |
        item.CentralDir.lastModTime;
    const std::uint32_t current = toDos(QDateTime::fromSecsSinceEpoch(existing.st_mtim.tv_sec));
    QString dest = target;
    switch (Options.OverwriteMode) {
        case omPrompt:
            if (!confirmOverwrite(f, dest)) {
                return false;
            }
            break;
        case omAlways:
            break;
        case omNever:
            return false;
        case omIfNewer:
            if (current >= entryTime) {
                return false;
            }
            break;
        case omIfOlder:
            if (current <= entryTime) {
                return false;
            }
            break;
    }
    return true;
}

// The entry written under a temporary name beside its place and put there (or kept for the
// run's commit), settled on the open file before its name is seen.
void TPakovna::writeEntry(int index, std::uint32_t attributes, const platform::FolderHandle& folder,
                          const QByteArray& leaf, const QString& f, const QString& target) {
    const TDirItem& item = directory().Item(index);
    // Written under a temporary name and renamed, so no cut or failed file ever stands under
    // the entry's name, new or replaced.
    const QString landed = QString(f).replace(u'\\', u'/');
    if (staging_ && !staging_->staging(landed)) {
        raise(ARC_ERROR_CANNOT_CREATE_FILE, target);
    }
    std::optional<platform::StagedFile> staged =
        staging_ ? platform::StagedFile::create(folder, leaf, staging_->tag())
                 : platform::StagedFile::create(folder, leaf);
    if (!staged) {
        raise(ARC_ERROR_CANNOT_CREATE_FILE, target);
    }
    platform::File* file = &staged->file();
    FileOutput out(*file);
    ExtractItem(index, out);
    if (FSkipFile || FProgressCancel) {
        return;  // the staged file goes with it
    }
    // Everything is settled on the open file, before its name is visible as the target.
    const QDateTime when =
        fromDos(item.CentralDir.lastModDate, item.CentralDir.lastModTime, localZone_);
    if (when.isValid()) {
        file->setLastWriteTime(when.toMSecsSinceEpoch());
    }
    if (Options.SetAttributes) {
        file->setPermissions(entryMode(item, attributes, umask_));
    }
    if (Options.FlushBuffers && platform::isOnRemovableDrive(target)) {
        file->flush();
    }
    if (!(staging_ ? staged->keep() : staged->commit())) {
        raise(ARC_ERROR_CANNOT_CREATE_FILE, target);
    }
    if (staging_ && !staging_->staged(landed, staged->identity(), item.uncompressedSize(),
                                      item.CentralDir.crc32)) {
        staged->folder().remove(staged->name());
        raise(ARC_ERROR_CANNOT_CREATE_FILE, target);
    }
}

}  // namespace selvanix
