#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace selvanix::platform {

// Whom the installer may trust with a folder it installs into or a program it starts: root,
// and the running user when that is not root. Running as root, nobody else may write there
// at all; running as an ordinary user, the group is the user's own choice and only others
// count.
class OwnerRule {
public:
    explicit OwnerRule(uid_t user) : user_(user) {}
    // The rule for this process's effective user.
    static OwnerRule forProcess();

    bool ownerTrusted(uid_t owner) const { return owner == 0 || owner == user_; }
    // A folder to install into, or a file to start: trusted owner, no foreign write bit.
    bool safe(const struct stat& st) const {
        return ownerTrusted(st.st_uid) && (st.st_mode & foreignWrite()) == 0;
    }
    // A folder above one: the same, or sticky, so others cannot rename what they do not own.
    bool safeAbove(const struct stat& st) const {
        return ownerTrusted(st.st_uid) &&
               ((st.st_mode & foreignWrite()) == 0 || (st.st_mode & S_ISVTX) != 0);
    }

private:
    mode_t foreignWrite() const { return user_ == 0 ? 022 : 002; }
    uid_t user_;
};

}  // namespace selvanix::platform
