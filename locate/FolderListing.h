#pragma once

#include <sys/stat.h>
#include <QString>
#include <QStringList>
#include <vector>

namespace selvanix {

// How entering a folder for its listing went.
enum class FolderEntered {
    Listed,   // entered and read; a folder that can be entered but not read lists nothing
    Missing,  // not there (any more), or not a folder: a symbolic link is never entered
    Refused,  // the user may not enter it, like a protected system folder
};

// A folder's entries as the search reads them: every name but hidden and system entries,
// folders as "[name]", "[.]" and "[..]" except at a drive's root, in case-insensitive order.
// Whether an entry is a folder is kept beside its text, so a name holding "[" is just a
// name. A symbolic link to a folder is a system entry (never listed); one to a file lists as
// that file. Read once when the folder is set.
class FolderListing {
public:
    // folder is an installer path ending in '\'. A folder that cannot be entered raises an
    // input/output error with the platform's code.
    void setDirectory(const QString& folder);
    // The same, but false (and nothing listed) when the folder does not exist (any more).
    bool setExistingDirectory(const QString& folder);
    // The folder of that name in the parent's listed folder, reached without following a
    // link; with read false it is entered for tests of its names only and lists nothing. A
    // failure other than those of FolderEntered raises an input/output error.
    FolderEntered setSubfolder(const FolderListing& parent, const QString& name, bool read = true);

    int count() const { return static_cast<int>(items_.size()); }
    const QString& item(int index) const { return items_.at(index); }
    bool isFolder(int index) const { return folders_.at(static_cast<size_t>(index)); }
    const QStringList& items() const { return items_; }
    // The listed folder's device and inode.
    const struct stat& status() const { return status_; }

    // Whether the listed folder holds a file (not a folder) of that relative name; links are
    // followed and hidden files count.
    bool holdsFile(const QString& relativeName) const;
    FolderListing() = default;
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;
    ~FolderListing();

private:
    void list(int fd, bool root);
    void release();

    QStringList items_;
    std::vector<bool> folders_;
    struct stat status_ {};
    int folder_ = -1;  // the listed folder, held for the tests of names inside it
};

// Opens a host folder the way the search enters a drive (its search permission checked, no
// current folder changed): the handle, or -1 when the folder does not exist. Any other
// refusal raises an input/output error with the platform's code.
int enterFolder(const QString& hostFolder);

}  // namespace selvanix
