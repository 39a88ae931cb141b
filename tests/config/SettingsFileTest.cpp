#include "config/SettingsFile.h"
#include "profile/IniFile.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace selvanix;
using selvanix::test::readBytes;
using selvanix::test::TestDrives;
using selvanix::test::writeBytes;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    TestDrives drives;
    QString c = drives.add(u'C');
};

TEST_F(SettingsFile, FileNameLooksAtTheFoldersLastCharacter) {
    EXPECT_EQ(settingsFileName("C:\\Prog\\"), QStringLiteral("C:\\Prog\\upgrade.kac"));
    EXPECT_EQ(settingsFileName("C:\\Prog"), QStringLiteral("C:\\Prog\\upgrade.kac"));
    EXPECT_EQ(settingsFileName("D:"), QStringLiteral("D:\\upgrade.kac"));
    EXPECT_EQ(settingsFileName(""), QStringLiteral("\\upgrade.kac"));
    EXPECT_EQ(settingsFileName("/opt/selvanix/"), QStringLiteral("/opt/selvanix/upgrade.kac"));
}

TEST_F(SettingsFile, WritesEveryKeyInOrder) {
    writeBytes(c + "/Prog/upgrade.kac",
               "[SERVER]\r\nbaseurl=http://local/\r\n[DEFINICE]\r\nstale=1\r\n");
    SettingsToWrite s;
    s.program = 4;
    s.source = 2;
    s.packageFolder = "E:\\pkg\\";
    s.targetMode = 0;
    s.targets[0] = "C:\\Prog";
    s.targets[2] = "D:\\B";
    s.koukani = true;
    s.date = "8.12.2026";
    writeSettings(settingsFileName("C:\\Prog"), s);
    EXPECT_EQ(readBytes(c + "/Prog/upgrade.kac"),
              "[SERVER]\r\nbaseurl=http://local/\r\n"
              "[DEFINICE]\r\nprogram=4\r\nodkud=2\r\nodkudcesta=E:\\pkg\\\r\ncilinstalace=0\r\n"
              "kamcestaI=C:\\Prog\r\nkamcestaII=\r\nkamcestaIII=D:\\B\r\nkamcestaIV=\r\n"
              "kamcestaV=\r\nkamcestaVI=\r\nkamcestaVII=\r\nkamcestaVIII=\r\nkamcestaIX=\r\n"
              "kamcestaX=\r\nkoukani=Y\r\nautomaticky=N\r\ndatum=8.12.2026\r\n");
}

TEST_F(SettingsFile, CodesWithoutMeaningAreNotWritten) {
    for (const int program : {0, 3, 9}) {
        SettingsToWrite s;
        s.program = program;
        s.source = 0;
        s.targetMode = 5;
        writeSettings("C:\\upgrade.kac", s);
        QStringList keys;
        TIniFile("C:\\upgrade.kac").ReadSection("DEFINICE", keys);
        EXPECT_FALSE(keys.contains("program")) << program;
        EXPECT_FALSE(keys.contains("odkud"));
        EXPECT_FALSE(keys.contains("cilinstalace"));
        EXPECT_EQ(keys.size(), 14);
        EXPECT_FALSE(readSettings("C:\\upgrade.kac").program.has_value());
    }
}

TEST_F(SettingsFile, ReadsKeyByKeyExactly) {
    writeBytes(c + "/upgrade.kac",
               "[DEFINICE]\r\n"
               "program=3\r\n"
               "odkud=7\r\n"
               "odkudcesta=E:\\a=b\r\n"
               "cilinstalace=2\r\n"
               "kamcestaII=D:\\x\r\n"
               "kamcestaV=\r\n"
               "koukani=y\r\n"
               "Automaticky=Y\r\n"
               "datum=1.1.2020\r\n");
    const StoredSettings s = readSettings("C:\\upgrade.kac");
    EXPECT_EQ(s.program, std::optional<int>(3));
    EXPECT_FALSE(s.source.has_value());
    EXPECT_EQ(s.packageFolder, std::optional<QString>("E:\\a=b"));
    EXPECT_EQ(s.targetMode, std::optional<int>(2));
    EXPECT_FALSE(s.targets[0].has_value());
    EXPECT_EQ(s.targets[1], std::optional<QString>("D:\\x"));
    EXPECT_EQ(s.targets[4], std::optional<QString>(""));
    EXPECT_EQ(s.koukani, std::optional<QString>("y"));
    EXPECT_FALSE(s.automaticky.has_value());  // keys are compared with case
}

TEST_F(SettingsFile, MissingFileOrSectionLoadsNothing) {
    const StoredSettings none = readSettings("C:\\upgrade.kac");
    EXPECT_FALSE(none.program || none.source || none.packageFolder || none.targetMode);
    writeBytes(c + "/upgrade.kac", "[SERVER]\r\nprogram=2\r\n");
    EXPECT_FALSE(readSettings("C:\\upgrade.kac").program.has_value());
}

// Beside the program a link is the user's own choice and is followed; in a target folder a
// link (or a second hard link) is replaced by a file of the folder's own.
TEST_F(SettingsFile, LinksAreFollowedBesideTheProgramAndReplacedInTargets) {
    const QByteArray other = "[OTHER]\r\nkeep=1\r\n";
    writeBytes(c + "/elsewhere.kac", other);
    QDir().mkpath(c + "/own");
    QDir().mkpath(c + "/target");
    const auto link = [&](const QString& at) {
        return ::symlink(QFile::encodeName(c + "/elsewhere.kac").constData(),
                         QFile::encodeName(at).constData()) == 0;
    };
    ASSERT_TRUE(link(c + "/own/upgrade.kac"));
    ASSERT_TRUE(link(c + "/target/upgrade.kac"));
    SettingsToWrite s;
    s.targets[0] = "C:\\target";

    writeSettings("C:\\target\\upgrade.kac", s, platform::LinkAtName::Replace);
    EXPECT_EQ(readBytes(c + "/elsewhere.kac"), other);
    EXPECT_FALSE(QFileInfo(c + "/target/upgrade.kac").isSymLink());
    EXPECT_FALSE(readBytes(c + "/target/upgrade.kac").contains("OTHER"));
    EXPECT_EQ(readSettings("C:\\target\\upgrade.kac").targets[0], QStringLiteral("C:\\target"));

    ASSERT_TRUE(QFile::remove(c + "/target/upgrade.kac"));
    ASSERT_EQ(::link(QFile::encodeName(c + "/elsewhere.kac").constData(),
                     QFile::encodeName(c + "/target/upgrade.kac").constData()),
              0);
    writeSettings("C:\\target\\upgrade.kac", s, platform::LinkAtName::Replace);
    EXPECT_EQ(readBytes(c + "/elsewhere.kac"), other);
    EXPECT_FALSE(readBytes(c + "/target/upgrade.kac").contains("OTHER"));

    writeSettings("C:\\own\\upgrade.kac", s);
    EXPECT_TRUE(QFileInfo(c + "/own/upgrade.kac").isSymLink());
    EXPECT_TRUE(readBytes(c + "/elsewhere.kac").startsWith(other));
    EXPECT_EQ(readSettings("C:\\elsewhere.kac").targets[0], QStringLiteral("C:\\target"));
}

}  // namespace
