#include "profile/IniFile.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>

using namespace selvanix;
using selvanix::test::TestDrives;
using selvanix::test::writeBytes;

namespace {

TEST(IniFile, SectionValuesInFileOrderWithEqualsInValues) {
    TestDrives drives;
    const QString c = drives.add(u'C');
    writeBytes(c + "/Prog/upgrade.kac",
               "[DEFINICE]\r\na=1\r\nb=2\r\nurl=http://h/?x=1&y=2\r\n[OTHER]\r\nz=9\r\n");
    TIniFile ini("C:\\Prog\\upgrade.kac");
    EXPECT_EQ(ini.FileName(), QStringLiteral("C:\\Prog\\upgrade.kac"));
    QStringList lines{"left over"};
    ini.ReadSectionValues("DEFINICE", lines);
    EXPECT_EQ(lines, (QStringList{"a=1", "b=2", "url=http://h/?x=1&y=2"}));
    QStringList keys;
    ini.ReadSection("DEFINICE", keys);
    EXPECT_EQ(keys, (QStringList{"a", "b", "url"}));
    ini.ReadSection("MISSING", keys);
    EXPECT_TRUE(keys.isEmpty());
}

TEST(IniFile, HostPathsWorkLikeDrivePaths) {
    TestDrives drives;
    const QString c = drives.add(u'C');
    TIniFile(c + "/upgrade.kac").WriteString("DEFINICE", "Produkt", "2");
    EXPECT_EQ(TIniFile("C:\\upgrade.kac").ReadString("DEFINICE", "Produkt", ""),
              QStringLiteral("2"));
}

}  // namespace
