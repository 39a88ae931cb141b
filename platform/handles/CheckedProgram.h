#pragma once

#include "FolderHandle.h"
#include "platform/OwnerRule.h"

#include <sys/stat.h>
#include <QString>

namespace selvanix::platform {

// A program named below a folder, opened from the folder's handle and checked on the open
// file, so that what is started is what was checked, whatever is renamed over the name later.
class CheckedProgram {
public:
    enum class Refusal {
        None,
        Missing,        // no such file, or a folder on its way is missing
        Link,           // a symbolic link on the way or at the name
        NotRegular,     // a folder, pipe, device or socket
        Foreign,        // another user owns it or can write it
        NotExecutable,  // no execute bit, and the desktop's opener is not for this user
    };

    // name is relative, with "\" or "/" between folders; rule says whom to trust.
    static CheckedProgram open(const FolderHandle& folder, const QString& name,
                               const OwnerRule& rule, bool mayOpenOthers);

    Refusal refusal() const { return refusal_; }
    bool executable() const { return (status_.st_mode & 0111) != 0; }
    // The open file; valid while the object lives.
    int descriptor() const { return file_ ? file_->descriptor() : -1; }

private:
    CheckedProgram() = default;
    Refusal refusal_ = Refusal::Missing;
    std::optional<File> file_;
    struct stat status_ {};
};

}  // namespace selvanix::platform
