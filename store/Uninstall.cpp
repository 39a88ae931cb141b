#include "Uninstall.h"

#include "config/SettingsFile.h"

#include <QFile>
#include <algorithm>
#include <set>

namespace selvanix {

// Deepest first, so a folder is tried after everything below it.
void removeEmptyFolders(const platform::FolderHandle& target,
                        const std::vector<Manifest::Entry>& files) {
    std::set<QString> folders;
    for (const Manifest::Entry& entry : files) {
        QStringList parts = entry.path.split(u'/');
        parts.removeLast();
        for (; !parts.isEmpty(); parts.removeLast()) {
            folders.insert(parts.join(u'/'));
        }
    }
    std::vector<QString> ordered(folders.begin(), folders.end());
    std::sort(ordered.begin(), ordered.end(),
              [](const QString& a, const QString& b) { return a.count(u'/') > b.count(u'/'); });
    for (const QString& folder : ordered) {
        QStringList parts = folder.split(u'/');
        const QString leaf = parts.takeLast();
        if (const auto parent = enterRecordedFolder(target, parts)) {
            parent->removeEmptyFolder(QFile::encodeName(leaf));
        }
    }
}

UninstallResult uninstallTarget(const platform::FolderHandle& target, const Manifest& record) {
    UninstallResult result;
    for (const Manifest::Entry& entry : record.files) {
        switch (checkFile(target, entry)) {
            case FileCheck::Missing:
                result.missing << entry.path;
                continue;
            case FileCheck::Changed:
                result.kept << entry.path;
                continue;
            case FileCheck::Matches:
                break;
        }
        QStringList parts = entry.path.split(u'/');
        const QString leaf = parts.takeLast();
        const auto folder = enterRecordedFolder(target, parts);
        if (folder && folder->remove(QFile::encodeName(leaf))) {
            result.removed << entry.path;
        } else {
            result.kept << entry.path;
        }
    }
    removeEmptyFolders(target, record.files);
    target.remove(QFile::encodeName(QString::fromUtf16(kSettingsFileName)));
    target.removeTree(".selvanix");
    return result;
}

}  // namespace selvanix
