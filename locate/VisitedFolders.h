#pragma once

#include <cstdint>
#include <vector>

namespace selvanix {

// The folders of one drive the search has entered, by inode: a folder reached a second way
// (a bind mount of the same file system) is searched once. An open-addressing set of
// numbers, a few bytes a folder, since a real drive holds hundreds of thousands.
class VisitedFolders {
public:
    // True the first time an inode is given.
    bool firstVisit(std::uint64_t inode);
    void clear();

private:
    void grow();

    std::vector<std::uint64_t> slots_;  // 0 is free; inode 0 is kept in zeroSeen_
    std::size_t used_ = 0;
    bool zeroSeen_ = false;
};

}  // namespace selvanix
