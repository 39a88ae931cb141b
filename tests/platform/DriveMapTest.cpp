#include "platform/DriveMap.h"
#include "platform/MountTable.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

using namespace selvanix::platform;

namespace {

const char* const kMountInfo =
    "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
    "23 1 0:22 / /sys rw,nosuid shared:7 - sysfs sysfs rw\n"
    "1 0 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "25 1 0:5 / /dev rw - devtmpfs udev rw,size=4k\n"
    "30 1 8:2 / /home rw,relatime shared:2 - ext4 /dev/sda2 rw\n"
    "31 1 0:40 / /run/user/1000 rw - tmpfs tmpfs rw\n"
    "32 1 8:17 / /media/usb\\040stick rw shared:3 master:1 - vfat /dev/sdb1 rw\n"
    "33 1 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
    "34 1 0:50 / /mnt/share rw - nfs4 server:/export rw\n"
    "35 1 8:2 /etc/hosts /etc/hosts rw - ext4 /dev/sda2 rw\n"
    "36 1 0:51 / /mnt/smb rw - cifs //host/share rw\n"
    "37 1 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
    "38 1 8:2 / /home rw - ext4 /dev/sda2 rw\n"
    "garbage line\n";

TEST(MountTable, ParsesFieldsAndEscapes) {
    const auto mounts = parseMountInfo(QString::fromLatin1(kMountInfo));
    ASSERT_EQ(mounts.size(), 13u);
    EXPECT_EQ(mounts[2].mountPoint, QStringLiteral("/"));
    EXPECT_EQ(mounts[2].fsType, QStringLiteral("ext4"));
    EXPECT_EQ(mounts[2].source, QStringLiteral("/dev/sda1"));
    EXPECT_EQ(mounts[6].mountPoint, QStringLiteral("/media/usb stick"));
    EXPECT_EQ(mounts[6].majorMinor, QStringLiteral("8:17"));
    EXPECT_EQ(mounts[6].fsType, QStringLiteral("vfat"));  // after two optional fields
    EXPECT_EQ(mounts[9].root, QStringLiteral("/etc/hosts"));
}

TEST(MountTable, LettersInTableOrderTypedByFileSystemAndDevice) {
    const auto mounts = parseMountInfo(QString::fromLatin1(kMountInfo));
    const DriveMap map = driveMapFromMounts(
        mounts, [](const QString& majorMinor, const QString&) { return majorMinor == u"8:17"; });
    const auto expect = [&](char letter, const char* root, DriveType type) {
        const DriveMap::Drive* d = map.drive(QChar(letter));
        ASSERT_NE(d, nullptr) << letter;
        EXPECT_EQ(d->hostRoot, QString::fromLatin1(root)) << letter;
        EXPECT_EQ(d->type, type) << letter;
    };
    expect('C', "/", DRIVE_FIXED);
    expect('D', "/home", DRIVE_FIXED);
    expect('E', "/media/usb stick", DRIVE_REMOVABLE);
    expect('F', "/media/cdrom", DRIVE_CDROM);
    expect('G', "/mnt/share", DRIVE_REMOTE);
    expect('H', "/mnt/smb", DRIVE_REMOTE);
    // Virtual file systems, a bind-mounted file and a second mount of /home get no letter.
    EXPECT_EQ(map.drive(u'I'), nullptr);
    EXPECT_EQ(map.drive(u'A'), nullptr);
    EXPECT_EQ(map.driveType(u'Z'), DRIVE_NO_ROOT_DIR);
    EXPECT_TRUE(map.isVirtualMountPoint(QStringLiteral("/proc")));
    EXPECT_TRUE(map.isVirtualMountPoint(QStringLiteral("/sys/")));
    EXPECT_FALSE(map.isVirtualMountPoint(QStringLiteral("/home")));
}

TEST(MountTable, LettersRunOutAtZ) {
    QString text = QStringLiteral("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
    for (int i = 0; i < 30; ++i) {
        text += QStringLiteral("%1 1 8:%1 / /m%1 rw - ext4 /dev/sdx%1 rw\n").arg(i + 2);
    }
    const DriveMap map = driveMapFromMounts(parseMountInfo(text), nullptr);
    ASSERT_NE(map.drive(u'Z'), nullptr);
    EXPECT_EQ(map.drive(u'Z')->hostRoot, QStringLiteral("/m24"));  // D = m2 ... Z = m24
}

TEST(DriveType, AnswersOnlyForBareRoots) {
    DriveMap map;
    map.setDrive(u'C', QStringLiteral("/"), DRIVE_FIXED);
    map.setDrive(u'e', QStringLiteral("/media/usb/"), DRIVE_REMOVABLE);
    setDriveMap(map);
    EXPECT_EQ(GetDriveTypeW(QStringLiteral("C:/")), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeW(QStringLiteral("c:\\")), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeW(QStringLiteral("E:")), DRIVE_REMOVABLE);
    EXPECT_EQ(GetDriveTypeW(QStringLiteral("D:/")), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeW(QStringLiteral("C:/x")), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeW(QStringLiteral("1:/")), DRIVE_NO_ROOT_DIR);
    setDriveMap(DriveMap{});
}

TEST(Paths, WindowsPathsMapThroughTheDriveMap) {
    DriveMap map;
    map.setDrive(u'C', QStringLiteral("/"), DRIVE_FIXED);
    map.setDrive(u'D', QStringLiteral("/srv/data/"), DRIVE_FIXED);
    setDriveMap(map);
    EXPECT_EQ(toHostPath(QStringLiteral("C:\\Prog\\Brodelik")), QStringLiteral("/Prog/Brodelik"));
    EXPECT_EQ(toHostPath(QStringLiteral("c:\\Prog\\\\x\\")), QStringLiteral("/Prog/x/"));
    EXPECT_EQ(toHostPath(QStringLiteral("C:")), QStringLiteral("/"));
    EXPECT_EQ(toHostPath(QStringLiteral("D:")), QStringLiteral("/srv/data"));
    EXPECT_EQ(toHostPath(QStringLiteral("D:\\")), QStringLiteral("/srv/data"));
    EXPECT_EQ(toHostPath(QStringLiteral("d:\\pts\\a.fr3")), QStringLiteral("/srv/data/pts/a.fr3"));
    EXPECT_EQ(toHostPath(QStringLiteral("D:pts")), QStringLiteral("/srv/data/pts"));
    // Host paths pass, with '\' turned into '/'.
    EXPECT_EQ(toHostPath(QStringLiteral("/opt/brodelik")), QStringLiteral("/opt/brodelik"));
    EXPECT_EQ(toHostPath(QStringLiteral("/opt\\brodelik\\upgrade.kac")),
              QStringLiteral("/opt/brodelik/upgrade.kac"));
    EXPECT_EQ(toHostPath(QStringLiteral("\\upgrade.kac")), QStringLiteral("/upgrade.kac"));
    // A drive with no folder must not fall back to a relative path.
    EXPECT_EQ(toHostPath(QStringLiteral("Q:\\x")), QString());
    setDriveMap(DriveMap{});
}

TEST(Paths, MessagesShowHostPathsWithSlashesAndDrivePathsAsHeld) {
    EXPECT_EQ(displayPath(QStringLiteral("/tmp/x\\upgrade.kac")),
              QStringLiteral("/tmp/x/upgrade.kac"));
    EXPECT_EQ(displayPath(QStringLiteral("/tmp/x\\\\brodelik.ini")),
              QStringLiteral("/tmp/x/brodelik.ini"));
    EXPECT_EQ(displayPath(QStringLiteral("C:\\Prog\\upgrade.kac")),
              QStringLiteral("C:\\Prog\\upgrade.kac"));
    // Not a host path: a path on the current drive, an entry name, a bare name.
    EXPECT_EQ(displayPath(QStringLiteral("\\upgrade.kac")), QStringLiteral("\\upgrade.kac"));
    EXPECT_EQ(displayPath(QStringLiteral("data\\a.sql")), QStringLiteral("data\\a.sql"));
}

}  // namespace
