#pragma once

#include <QChar>
#include <array>

namespace selvanix {

// The drive letters of the machine by class, each list in ascending letter order. Entries
// at or above a list's count may hold letters of an earlier inventory and mean nothing.
struct DriveInventory {
    using DriveList = std::array<QChar, 261>;
    DriveList FDDisky{};  // removable
    DriveList HDDisky{};  // fixed
    DriveList SDDisky{};  // network
    DriveList CDDisky{};  // CD-ROM
    int fd = 0;
    int hd = 0;
    int sd = 0;
    int cd = 0;
};

// Rebuilds the four lists from zero counts by the drive type of "A:/" ... "Z:/".
void GetDrives(DriveInventory& drives);

}  // namespace selvanix
