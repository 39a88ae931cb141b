#include "DataFolderFile.h"

#include "Manifest.h"
#include "platform/handles/StagedFile.h"

namespace selvanix {

std::vector<QByteArray> readDataLines(const platform::FolderHandle& folder, const char* name,
                                      const char* header, qint64 bound) {
    const std::optional<QByteArray> text = readBounded(folder, name, bound);
    if (!text) {
        return {};
    }
    QList<QByteArray> lines = text->split('\n');
    if (lines.isEmpty() || lines.first() != header) {
        return {};
    }
    lines.removeFirst();
    lines.removeAll(QByteArray());
    return {lines.begin(), lines.end()};
}

bool writeDataLines(const platform::FolderHandle& folder, const char* name, const char* header,
                    const std::vector<QByteArray>& lines) {
    QByteArray text = QByteArray(header) + '\n';
    for (const QByteArray& line : lines) {
        text += line + '\n';
    }
    std::optional<platform::StagedFile> staged = platform::StagedFile::create(folder, name);
    return staged && staged->file().write(text) && staged->file().flush() && staged->commit();
}

}  // namespace selvanix
