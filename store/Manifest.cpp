#include "Manifest.h"

#include "archive/Crc32.h"
#include "platform/Paths.h"
#include "platform/handles/StagedFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <algorithm>

namespace selvanix {

namespace {

const QByteArray kHeader = "selvanix-manifest 1";
const QByteArray kFolder = kRecordsName;
const QByteArray kName = kManifestName;
// One tag for every run: a record a stopped run left half-written is replaced by the next.
const QByteArray kStagedTag = "record";

// Values are single lines: a line break in a descriptor value would forge a record line.
QByteArray oneLine(const QString& value) {
    QByteArray bytes = value.toUtf8();
    bytes.replace('\n', ' ').replace('\r', ' ');
    return bytes;
}

}  // namespace

bool isRecordedPath(const QString& path) {
    const QStringList parts = path.split(u'/');
    for (const QString& part : parts) {
        if (part.isEmpty() || part == u"." || part == u".." || part.contains(u'\\')) {
            return false;
        }
        for (const QChar c : part) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
                return false;
            }
        }
    }
    return parts.first().compare(QLatin1String(kFolder), Qt::CaseInsensitive) != 0;
}

std::optional<platform::FolderHandle> recordsFolder(const platform::FolderHandle& target,
                                                    bool create) {
    return target.enter(kFolder, create);
}

std::pair<QStringList, QByteArray> splitRecordedPath(const QString& path) {
    QStringList parts = path.split(u'/');
    const QByteArray leaf = QFile::encodeName(parts.takeLast());
    return {parts, leaf};
}

std::optional<QByteArray> readBounded(const platform::FolderHandle& folder, const QByteArray& name,
                                      qint64 bound) {
    std::optional<platform::File> file = folder.openForReading(name);
    if (!file || file->size() > bound) {
        return std::nullopt;
    }
    QByteArray text(file->size(), Qt::Uninitialized);
    if (file->readAt(0, text.data(), text.size()) != text.size()) {
        return std::nullopt;
    }
    return text;
}

QByteArray Manifest::toText() const {
    QByteArray text = kHeader + '\n';
    text += "stem " + oneLine(stem) + '\n';
    text += "name " + oneLine(name) + '\n';
    text += "version " + oneLine(version) + '\n';
    text += "date " + oneLine(date) + '\n';
    text += "sha256 " + sha256 + '\n';
    for (const Entry& e : files) {
        text += "file " + e.toText() + '\n';
    }
    return text;
}

QByteArray Manifest::Entry::toText() const {
    return QByteArray::number(crc, 16).rightJustified(8, '0') + ' ' +
           QByteArray::number(static_cast<qulonglong>(size)) + ' ' + oneLine(path);
}

std::optional<Manifest::Entry> Manifest::Entry::fromText(const QByteArray& text) {
    const qsizetype first = text.indexOf(' ');
    const qsizetype second = first < 0 ? -1 : text.indexOf(' ', first + 1);
    if (second < 0) {
        return std::nullopt;
    }
    bool crcOk = false;
    bool sizeOk = false;
    Entry e;
    e.crc = text.left(first).toUInt(&crcOk, 16);
    e.size = text.mid(first + 1, second - first - 1).toULongLong(&sizeOk);
    e.path = QString::fromUtf8(text.mid(second + 1));
    if (!crcOk || !sizeOk || !isRecordedPath(e.path)) {
        return std::nullopt;
    }
    return e;
}

std::optional<Manifest> Manifest::fromText(const QByteArray& text) {
    if (!text.endsWith('\n')) {
        return std::nullopt;  // cut short
    }
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    if (lines.size() < 6 || lines[0] != kHeader) {
        return std::nullopt;
    }
    Manifest m;
    const std::pair<const char*, QString*> values[] = {
        {"stem ", &m.stem}, {"name ", &m.name}, {"version ", &m.version}, {"date ", &m.date}};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        if (!lines[int(i) + 1].startsWith(values[i].first)) {
            return std::nullopt;
        }
        *values[i].second = QString::fromUtf8(lines[int(i) + 1].mid(qstrlen(values[i].first)));
    }
    if (!lines[5].startsWith("sha256 ")) {
        return std::nullopt;
    }
    m.sha256 = lines[5].mid(7);
    for (int i = 6; i < lines.size(); ++i) {
        const std::optional<Entry> entry =
            lines[i].startsWith("file ") ? Entry::fromText(lines[i].mid(5)) : std::nullopt;
        if (!entry) {
            return std::nullopt;
        }
        m.files.push_back(*entry);
    }
    return m;
}

bool Manifest::samePackage(const Manifest& other) const {
    return stem == other.stem && version == other.version && date == other.date &&
           !sha256.isEmpty() && sha256 == other.sha256;
}

std::optional<Manifest> readManifest(const platform::FolderHandle& target) {
    const std::optional<platform::FolderHandle> folder = target.enter(kFolder, false);
    const std::optional<QByteArray> text =
        folder ? readBounded(*folder, kName, kMaxManifestBytes) : std::nullopt;
    return text ? Manifest::fromText(*text) : std::nullopt;
}

bool writeManifest(const platform::FolderHandle& target, const Manifest& manifest) {
    const std::optional<platform::FolderHandle> folder = target.enter(kFolder, true);
    if (!folder) {
        return false;
    }
    std::optional<platform::StagedFile> staged =
        platform::StagedFile::create(*folder, kName, kStagedTag);
    return staged && staged->file().write(manifest.toText()) && staged->file().flush() &&
           staged->commit();
}

void removeManifest(const platform::FolderHandle& target) {
    if (const std::optional<platform::FolderHandle> folder = target.enter(kFolder, false)) {
        folder->remove(kName);
        folder->remove(platform::temporaryName(kName, kStagedTag));
    }
}

std::optional<platform::FolderHandle> enterRecordedFolder(const platform::FolderHandle& target,
                                                          const QStringList& folders, bool create) {
    std::optional<platform::FolderHandle> at = target.reopen();
    for (const QString& part : folders) {
        if (!at) {
            break;
        }
        at = at->enter(QFile::encodeName(part), create);
    }
    return at;
}

FileCheck checkFile(const platform::FolderHandle& target, const Manifest::Entry& entry) {
    QStringList parts = entry.path.split(u'/');
    const QString leaf = parts.takeLast();
    const std::optional<platform::FolderHandle> in = enterRecordedFolder(target, parts);
    if (!in || !in->status(QFile::encodeName(leaf))) {
        return FileCheck::Missing;  // the file, or a folder on its way, is gone
    }
    // A link or anything but a regular file there is not the installed file.
    std::optional<platform::File> file = in->openForReading(QFile::encodeName(leaf));
    if (!file || static_cast<std::uint64_t>(file->size()) != entry.size) {
        return FileCheck::Changed;
    }
    // No further than the recorded size: a file another user keeps growing ends the read.
    Crc32 crc;
    QByteArray block(1 << 16, Qt::Uninitialized);
    std::uint64_t left = entry.size;
    for (qint64 n;
         left > 0 && (n = file->read(block.data(),
                                     static_cast<qint64>(std::min<std::uint64_t>(
                                         left, static_cast<std::uint64_t>(block.size()))))) > 0;) {
        crc.update(block.constData(), static_cast<std::size_t>(n));
        left -= static_cast<std::uint64_t>(n);
    }
    return left == 0 && crc.value() == entry.crc ? FileCheck::Matches : FileCheck::Changed;
}

bool filesMatch(const platform::FolderHandle& target, const Manifest& manifest) {
    for (const Manifest::Entry& entry : manifest.files) {
        if (checkFile(target, entry) != FileCheck::Matches) {
            return false;
        }
    }
    return true;
}

QByteArray fileSha256(const QString& path) {
    QFile file(platform::toHostPath(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        return {};
    }
    return hash.result().toHex();
}

}  // namespace selvanix
