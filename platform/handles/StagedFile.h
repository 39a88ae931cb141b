#pragma once

#include "File.h"
#include "FolderHandle.h"

#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace selvanix::platform {

// The temporary name a new file is written under beside its destination: ".<leaf>.<tag>.tmp".
// A leaf too long for that keeps its start and ends in a hash of the whole, so distinct leaves
// never share a temporary. A run that names its files by its own tag can find them again
// after a crash.
QByteArray temporaryName(const QByteArray& leaf, const QByteArray& tag);
// A tag no other run uses: 16 hex digits.
QByteArray randomTag();

// A kept file as it was written. It stays open while the process can spare the descriptor: no
// other file gets its inode then, so a look at its name tells it from one put there since.
// Past that, its inode, size and change time tell it.
struct StagedIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    struct timespec changed {};
    std::shared_ptr<const File> open;
};
// Whether folder/name is still that file, with the size it was written with.
bool stillStaged(const StagedIdentity& file, const FolderHandle& folder, const QByteArray& name);

// A new file written under a temporary name in its destination's own folder (so on the
// destination's file system) and put in place by one rename: whoever reads the destination
// sees the old file or the whole new one, never a cut one. Removed when it goes unless it was
// committed or kept.
class StagedFile {
public:
    // A name already taken by this tag is a leftover of the same run and is replaced. The
    // folder must outlive the staged file.
    static std::optional<StagedFile> create(const FolderHandle& folder, const QByteArray& leaf,
                                            const QByteArray& tag = randomTag());
    // The same, for a host path whose folder is the caller's own choice.
    static std::optional<StagedFile> beside(const QString& hostPath);
    // A new file in folder with no name until it is committed by commitAs; where the file
    // system has no unnamed files, under the temporary name of what. Holds its own handle of
    // the folder.
    static std::optional<StagedFile> unnamed(const FolderHandle& folder, const QByteArray& what);
    // A file written under a name of its own in folder, staged as it is: that name goes with
    // the object unless it is committed by commitAs. Holds its own handle of the folder.
    static std::optional<StagedFile> adopt(const FolderHandle& folder, File file,
                                           const QByteArray& name);
    // A second name for folder's regular file existing (never a link there), put over leaf
    // by commit.
    static std::optional<StagedFile> secondName(const FolderHandle& folder,
                                                const QByteArray& existing, const QByteArray& leaf);
    // A new file in folder that only this user may read and write and no other process can
    // open by any name; it is never put in place.
    static std::optional<File> privateFile(const FolderHandle& folder);

    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&&) = delete;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile();

    File& file() { return file_; }
    const QByteArray& name() const { return name_; }
    const FolderHandle& folder() const { return *folder_; }

    // Closes the file and renames it over the destination; what stands there, a link too, is
    // replaced, never followed.
    bool commit();
    // The same, under leaf in the file's folder.
    bool commitAs(const QByteArray& leaf);
    // Leaves the file under its temporary name for a later commit by name.
    bool keep();
    // Once kept: the file as it was written.
    const StagedIdentity& identity() const { return identity_; }

private:
    StagedFile(const FolderHandle& folder, File file, QByteArray leaf, QByteArray name);
    // A staged file that holds a handle of its folder of its own.
    static std::optional<StagedFile> owning(const FolderHandle& folder, File file, QByteArray leaf,
                                            QByteArray name);

    std::optional<FolderHandle> owned_;  // the folder of beside(), opened for this file alone
    const FolderHandle* folder_;
    File file_;
    QByteArray leaf_;
    QByteArray name_;
    StagedIdentity identity_;
    bool done_ = false;
};

}  // namespace selvanix::platform
