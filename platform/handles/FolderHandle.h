#pragma once

#include "File.h"

#include <sys/stat.h>
#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>

namespace selvanix::platform {

// An open folder; everything below it is reached by name relative to it, never through a
// symbolic link, so a link planted below the folder cannot redirect a write elsewhere.
class FolderHandle {
public:
    // Why a step below the folder failed.
    enum class Refusal { None, Link, NotFolder, Other };

    // The folder at an installer path. Links on the path itself are followed: the path is the
    // caller's own choice.
    static std::optional<FolderHandle> open(const QString& path);
    // The folder at a host path, taken as it is.
    static std::optional<FolderHandle> openHost(const QByteArray& hostPath);

    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle();

    // The same folder once more, for a walk that starts here.
    std::optional<FolderHandle> reopen() const;
    // The child folder, made first when missing and create is set.
    std::optional<FolderHandle> enter(const QByteArray& name, bool create,
                                      Refusal* refusal = nullptr) const;
    // What the name is, without following a link at it.
    std::optional<struct stat> status(const QByteArray& name) const;
    // A new file of that name, readable and writable; fails when the name exists. The mode is
    // taken less the umask.
    std::optional<File> createFile(const QByteArray& name, mode_t mode = 0666) const;
    // The regular file of that name for reading; a link, a pipe or a device there is refused.
    std::optional<File> openForReading(const QByteArray& name) const;
    // Renames within this folder, replacing what stands at to (a link there is replaced,
    // never followed).
    bool rename(const QByteArray& from, const QByteArray& to) const;
    // Removes a file or link of that name.
    bool remove(const QByteArray& name) const;
    // Removes the folder of that name when it is empty (a link there is never followed).
    bool removeEmptyFolder(const QByteArray& name) const;
    // Removes the folder of that name and everything below it; a link below is removed
    // itself, never followed. True when nothing of that name is left.
    bool removeTree(const QByteArray& name) const;
    // Moves a name of this folder to a name of another folder on the same file system;
    // fails rather than replace what stands at to.
    bool moveTo(const QByteArray& from, const FolderHandle& folder, const QByteArray& to) const;
    // A second name in this folder for the regular file from (never a link there); fails
    // when the name exists.
    bool linkHere(const QByteArray& from, const QByteArray& to) const;
    // A new file in this folder without any name, where the file system has such files.
    std::optional<File> createUnnamed(mode_t mode) const;
    // A name in this folder for an open file that has none; fails when the name exists.
    bool name(const File& file, const QByteArray& as) const;
    // The existing regular file of that name for reading and writing; a link is refused.
    std::optional<File> openForUpdate(const QByteArray& name) const;
    // The file system the folder lies on.
    dev_t device() const;
    // The folder's identity: its device and inode.
    std::pair<dev_t, ino_t> identity() const;
    // Whether this folder is ancestor or lies below it, by the folders' identities, whatever
    // links or mounts the paths took.
    bool isWithin(const FolderHandle& ancestor) const;
    // Writes everything of this folder's file system down to its device.
    bool syncFileSystem() const;

    int descriptor() const { return fd_; }

private:
    explicit FolderHandle(int fd) : fd_(fd) {}
    // The regular file of that name, opened with access (O_RDONLY or O_RDWR), no link followed.
    std::optional<File> openRegular(const QByteArray& name, int access) const;
    int fd_ = -1;
};

// The process's file-creation mask, read without changing it.
unsigned processUmask();

}  // namespace selvanix::platform
