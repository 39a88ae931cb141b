#pragma once

#include "platform/handles/FolderHandle.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace selvanix {

// The record a target keeps of the package installed into it: T/.selvanix/manifest.
struct Manifest {
    struct Entry {
        QString path;  // below the target, '/' between folders
        std::uint64_t size = 0;
        std::uint32_t crc = 0;
        bool operator==(const Entry&) const = default;
        // "crc size path": the CRC-32 as 8 hex digits, the size in bytes, the path.
        QByteArray toText() const;
        // Nothing when the text is no such line or the path is no recorded path.
        static std::optional<Entry> fromText(const QByteArray& text);
    };

    QString stem;
    QString name;
    QString version;
    QString date;
    QByteArray sha256;  // of the archive, lower-case hex
    std::vector<Entry> files;

    QByteArray toText() const;
    // Nothing when the text is not a whole record.
    static std::optional<Manifest> fromText(const QByteArray& text);
    // Same package: stem, version, date and archive.
    bool samePackage(const Manifest& other) const;
};

inline constexpr qint64 kMaxManifestBytes = 8 << 20;
// The installer's folder in a target, and its record there.
inline constexpr char kRecordsName[] = ".selvanix";
inline constexpr char kManifestName[] = "manifest";

// A path below a target as an entry's name may be: relative, no empty, "." or ".." part, no
// backslash or control character, nothing below .selvanix.
bool isRecordedPath(const QString& path);

// The installer's folder in a target, .selvanix, made when asked; never through a link.
std::optional<platform::FolderHandle> recordsFolder(const platform::FolderHandle& target,
                                                    bool create);
// A recorded path split into its folders and its leaf.
std::pair<QStringList, QByteArray> splitRecordedPath(const QString& path);
// Reads a whole small file of a folder, never through a link, within the bound.
std::optional<QByteArray> readBounded(const platform::FolderHandle& folder, const QByteArray& name,
                                      qint64 bound);

// Read from the target's own handle, never through a link, and within the bound; nothing
// when it is missing, too large or damaged.
std::optional<Manifest> readManifest(const platform::FolderHandle& target);
// Written to a new file and renamed over the old, so a kill leaves one whole record or none.
bool writeManifest(const platform::FolderHandle& target, const Manifest& manifest);
void removeManifest(const platform::FolderHandle& target);
// The folder of a recorded path's leading components, entered from the target without
// following a link; nothing when one of them is gone or no folder.
// Made on the way when create is set.
std::optional<platform::FolderHandle> enterRecordedFolder(const platform::FolderHandle& target,
                                                          const QStringList& folders,
                                                          bool create = false);
// One recorded file as the target holds it now.
enum class FileCheck { Matches, Missing, Changed };
FileCheck checkFile(const platform::FolderHandle& target, const Manifest::Entry& entry);
// Whether every file of the record stands in the target with its size and CRC.
bool filesMatch(const platform::FolderHandle& target, const Manifest& manifest);

// Lower-case hex SHA-256 of a file at an installer path; empty when it cannot be read.
QByteArray fileSha256(const QString& path);

}  // namespace selvanix
