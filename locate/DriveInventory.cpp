#include "DriveInventory.h"

#include "platform/DriveMap.h"

namespace selvanix {

void GetDrives(DriveInventory& drives) {
    drives.fd = drives.hd = drives.sd = drives.cd = 0;
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        const QString root = QString(QChar(letter)) + QStringLiteral(":/");
        switch (platform::GetDriveTypeW(root)) {
            case platform::DRIVE_REMOVABLE:
                drives.FDDisky[drives.fd++] = QChar(letter);
                break;
            case platform::DRIVE_FIXED:
                drives.HDDisky[drives.hd++] = QChar(letter);
                break;
            case platform::DRIVE_REMOTE:
                drives.SDDisky[drives.sd++] = QChar(letter);
                break;
            case platform::DRIVE_CDROM:
                drives.CDDisky[drives.cd++] = QChar(letter);
                break;
            default:
                break;
        }
    }
}

}  // namespace selvanix
