// One selected entry to one file below the base folder. When a file of that name exists, the
// entry is decoded into a temporary file beside it, which replaces it only when the entry
// decoded soundly, so a failed, skipped or cancelled entry leaves the previous file as it
// was. A new name is written directly and removed again when the entry fails.
#include "ArcException.h"
#include "ArcOutput.h"
#include "Pakovna.h"
#include "platform/DriveMap.h"
#include "platform/File.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
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
    for (const QString& part : name.split(QRegularExpression(QStringLiteral("[\\\\/]")))) {
        if (part == u"..") {
            if (kept.isEmpty()) {
                return std::nullopt;
            }
            kept.removeLast();
        } else if (!part.isEmpty() && part != u".") {
            kept.append(part);
        }
    }
    QString safe = kept.join(u'\\');
    if (name.endsWith(u'/') || name.endsWith(u'\\')) {
        safe += u'\\';
    }
    return safe;
}

QDateTime fromDos(std::uint16_t date, std::uint16_t time) {
    const QDate d(1980 + (date >> 9), (date >> 5) & 15, date & 31);
    const QTime t(time >> 11, (time >> 5) & 63, (time & 31) * 2);
    return QDateTime(d, t);  // local time
}

std::uint32_t toDos(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return (static_cast<std::uint32_t>(((d.year() - 1980) << 9) | (d.month() << 5) | d.day())
            << 16) |
           static_cast<std::uint32_t>((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
}

void applyAttributes(const QString& target, const TDirItem& item, std::uint32_t attributes) {
    const unsigned mode = (attributes >> 16) & 0777;
    if ((item.CentralDir.versionMadeBy >> 8) == 3 && mode != 0) {
        platform::setPermissions(target, mode);  // made on Unix: its permission bits
    } else {
        platform::setFileAttributes(target, attributes);
    }
}

}  // namespace

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
    const qsizetype slash = f.lastIndexOf(u'\\');
    if (Options.CreateDirs) {
        const QString folder = slash >= 0 ? baseDir + f.left(slash) : baseDir;
        // Entries of one folder usually follow each other: it was made a moment ago.
        if (folder != lastFolder_) {
            if (!platform::createFolder(folder)) {
                raise(ARC_ERROR_CANNOT_CREATE_DIR, folder);
            }
            lastFolder_ = folder;
        }
    } else {
        f = f.mid(slash + 1);
    }
    if ((attributes & 0x10) != 0 || item.Name.endsWith(u'/')) {
        return;  // a folder entry is its folder
    }
    const QString target = baseDir + f;

    const bool replacing = platform::fileExists(target);
    if (replacing) {
        const auto existing = platform::fileAttributes(target);
        const bool readOnly = existing && (*existing & platform::FILE_ATTRIBUTE_READONLY) != 0;
        if (!Options.ReplaceReadOnly && readOnly) {
            return;
        }
        const std::uint32_t entryTime =
            (static_cast<std::uint32_t>(item.CentralDir.lastModDate) << 16) |
            item.CentralDir.lastModTime;
        const auto targetTime = platform::lastWriteTime(target);
        const std::uint32_t current = targetTime ? toDos(*targetTime) : 0;
        QString dest = target;
        switch (Options.OverwriteMode) {
            case omPrompt:
                if (!confirmOverwrite(f, dest)) {
                    return;
                }
                break;
            case omAlways:
                break;
            case omNever:
                return;
            case omIfNewer:
                if (current >= entryTime) {
                    return;
                }
                break;
            case omIfOlder:
                if (current <= entryTime) {
                    return;
                }
                break;
        }
    }

    const qsizetype cut = target.lastIndexOf(u'\\');
    const QString temp = replacing
                             ? target.left(cut + 1) + u'.' + target.mid(cut + 1) + u'.' +
                                   QString::number(QRandomGenerator::global()->generate64(), 16) +
                                   QStringLiteral(".tmp")
                             : target;
    auto file = platform::File::open(temp, platform::File::Mode::CreateNew);
    if (!file) {
        raise(ARC_ERROR_CANNOT_CREATE_FILE, target);
    }
    FileOutput out(*file);
    const auto finish = [&] {
        const QDateTime when = fromDos(item.CentralDir.lastModDate, item.CentralDir.lastModTime);
        if (Options.FlushBuffers && platform::isOnRemovableDrive(target)) {
            file->flush();
        }
        if (when.isValid()) {
            file->setLastWriteTime(when.toMSecsSinceEpoch());
        }
        file->close();
    };
    try {
        ExtractItem(index, out);
    } catch (...) {
        finish();
        platform::deleteFile(temp);
        throw;
    }
    finish();
    if (FSkipFile || FProgressCancel) {
        platform::deleteFile(temp);
        return;
    }
    if (replacing) {
        platform::setFileAttributes(target, 0);  // a read-only file may be replaced too
        if (!platform::replaceFile(temp, target)) {
            platform::deleteFile(temp);
            raise(ARC_ERROR_CANNOT_CREATE_FILE, target);
        }
    }
    if (Options.SetAttributes) {
        applyAttributes(target, item, attributes);
    }
}

}  // namespace selvanix
