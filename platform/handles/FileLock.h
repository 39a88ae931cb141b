#pragma once

#include "FolderHandle.h"

#include <sys/types.h>
#include <chrono>
#include <variant>

namespace selvanix::platform {

// An exclusive lock on a file of its own beside what it guards, held until the object goes
// (or the process ends, however it ends). Never on the guarded folder itself: anyone who can
// open a folder can lock it. The file is made with mode 0600 and must be a regular file with
// one name, owned by this user or by root, so nobody else can open it to hold it. The holder
// removes it when it lets go; a waiter that then holds a file without a name takes the next.
class FileLock {
public:
    enum class Access {
        Write,  // made when missing, opened for writing
        Read,   // as Write where this user may; otherwise opened read-only, never made
    };
    enum class Refusal {
        Busy,          // another open file holds it, still after the wait
        Link,          // a symbolic link stands at the name
        NotRegular,    // a folder, pipe, socket or device
        SecondName,    // a hard link: another name could stand for it
        ForeignOwner,  // owned by another user than this one and root
        Unopened,      // could not be opened or made; error says why
    };
    struct Refused {
        Refusal why = Refusal::Unopened;
        int error = 0;  // errno, for Unopened
        uid_t owner = 0;
    };

    // Takes the lock of folder/name, trying again until wait has passed.
    static std::variant<FileLock, Refused> take(const FolderHandle& folder, const QByteArray& name,
                                                Access access, std::chrono::milliseconds wait);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Removes the file while still holding it, then lets go.
    void release();

private:
    FileLock(int fd, const FolderHandle& folder, QByteArray name);
    int fd_ = -1;
    std::optional<FolderHandle> folder_;
    QByteArray name_;
    bool held_ = false;
};

}  // namespace selvanix::platform
