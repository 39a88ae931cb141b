#pragma once

#include <QString>
#include <QStringList>

namespace selvanix {

// A folder's entries as the search reads them: every name but hidden and system entries,
// folders as "[name]", "[.]" and "[..]" except at a drive's root, in case-insensitive order.
// Read once when the folder is set.
class FolderListing {
public:
    // folder is an installer path ending in '\'. A folder that cannot be entered raises an
    // input/output error with the platform's code; one that can be entered but not read
    // lists nothing.
    void setDirectory(const QString& folder);
    // The same, but false (and nothing listed) when the folder does not exist (any more).
    bool setExistingDirectory(const QString& folder);
    int count() const { return static_cast<int>(items_.size()); }
    const QString& item(int index) const { return items_.at(index); }
    const QStringList& items() const { return items_; }

    // Whether the listed folder holds a file (not a folder) of that relative name; links are
    // followed and hidden files count.
    bool holdsFile(const QString& relativeName) const;

    FolderListing() = default;
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;
    ~FolderListing();

private:
    void release();

    QStringList items_;
    int folder_ = -1;  // the listed folder, held for tests of names inside it
};

// Opens a host folder the way the search enters it (its search permission checked, no current
// folder changed): the handle, or -1 when the folder does not exist. Any other refusal raises
// an input/output error with the platform's code.
int enterFolder(const QString& hostFolder);

}  // namespace selvanix
