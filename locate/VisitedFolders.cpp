#include "VisitedFolders.h"

namespace selvanix {

namespace {

std::size_t slotOf(std::uint64_t inode, std::size_t mask) {
    return static_cast<std::size_t>((inode * 0x9E3779B97F4A7C15ull) >> 17) & mask;
}

}  // namespace

bool VisitedFolders::firstVisit(std::uint64_t inode) {
    if (inode == 0) {
        const bool first = !zeroSeen_;
        zeroSeen_ = true;
        return first;
    }
    if ((used_ + 1) * 2 > slots_.size()) {
        grow();
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = slotOf(inode, mask);; i = (i + 1) & mask) {
        if (slots_[i] == inode) {
            return false;
        }
        if (slots_[i] == 0) {
            slots_[i] = inode;
            ++used_;
            return true;
        }
    }
}

void VisitedFolders::clear() {
    slots_.clear();
    used_ = 0;
    zeroSeen_ = false;
}

void VisitedFolders::grow() {
    std::vector<std::uint64_t> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint64_t inode : old) {
        if (inode != 0) {
            std::size_t i = slotOf(inode, mask);
            while (slots_[i] != 0) {
                i = (i + 1) & mask;
            }
            slots_[i] = inode;
        }
    }
}

}  // namespace selvanix
