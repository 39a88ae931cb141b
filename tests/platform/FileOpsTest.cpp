#include "platform/FileOps.h"
#include "platform/ShellOpen.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

using namespace selvanix::platform;
using selvanix::test::readBytes;
using selvanix::test::TestDrives;
using selvanix::test::writeBytes;

namespace {

class FileOps : public ::testing::Test {
protected:
    TestDrives drives;
    QString c = drives.add(u'C');
};

TEST_F(FileOps, ExistenceFollowsLinksAndTellsFilesFromFolders) {
    writeBytes(c + "/Prog/a.txt", "x");
    ASSERT_EQ(::symlink("a.txt", QFile::encodeName(c + "/Prog/link").constData()), 0);
    ASSERT_EQ(::symlink("Prog", QFile::encodeName(c + "/dirlink").constData()), 0);
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(c + "/dangling").constData()), 0);

    EXPECT_TRUE(fileExists("C:\\Prog\\a.txt"));
    EXPECT_TRUE(fileExists("c:\\Prog\\..\\Prog\\link"));
    EXPECT_FALSE(fileExists("C:\\Prog"));
    EXPECT_TRUE(directoryExists("C:\\Prog"));
    EXPECT_TRUE(directoryExists("C:\\dirlink"));
    EXPECT_FALSE(directoryExists("C:\\Prog\\a.txt"));
    EXPECT_FALSE(fileExists("C:\\dangling"));
    EXPECT_FALSE(fileExists("C:\\missing.txt"));
    EXPECT_EQ(lastError(), 2);
    EXPECT_FALSE(fileExists("C:\\Prog\\a.txt\\x"));
    EXPECT_EQ(lastError(), 3);
    EXPECT_FALSE(fileExists("X:\\Prog\\a.txt"));  // no such drive
    EXPECT_TRUE(fileExists(c + "/Prog/a.txt"));   // host path
}

TEST_F(FileOps, DeleteRemovesFilesButNeverFolders) {
    writeBytes(c + "/f.txt", "x");
    QDir().mkpath(c + "/folder");
    EXPECT_TRUE(deleteFile("C:\\f.txt"));
    EXPECT_FALSE(QFile::exists(c + "/f.txt"));
    EXPECT_FALSE(deleteFile("C:\\f.txt"));
    EXPECT_EQ(lastError(), 2);
    EXPECT_FALSE(deleteFile("C:\\folder"));
    EXPECT_TRUE(QDir(c + "/folder").exists());
}

TEST_F(FileOps, AttributesAsTheInstallerKnowsThem) {
    writeBytes(c + "/plain.txt", "x");
    writeBytes(c + "/.hidden", "x");
    QDir().mkpath(c + "/dir");
    ASSERT_EQ(::mkfifo(QFile::encodeName(c + "/pipe").constData(), 0644), 0);

    EXPECT_EQ(fileAttributes("C:\\plain.txt"), std::optional<std::uint32_t>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(fileAttributes("C:\\.hidden"), std::optional<std::uint32_t>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(fileAttributes("C:\\dir"), std::optional<std::uint32_t>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(fileAttributes("C:\\pipe"), std::optional<std::uint32_t>(FILE_ATTRIBUTE_SYSTEM));
    EXPECT_FALSE(fileAttributes("C:\\none").has_value());

    EXPECT_TRUE(setFileAttributes("C:\\plain.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(fileAttributes("C:\\plain.txt"),
              std::optional<std::uint32_t>(FILE_ATTRIBUTE_READONLY));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(c + "/plain.txt").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_TRUE(setFileAttributes("C:\\plain.txt", 0));
    EXPECT_EQ(fileAttributes("C:\\plain.txt"), std::optional<std::uint32_t>(FILE_ATTRIBUTE_NORMAL));
}

TEST_F(FileOps, VirtualMountPointsAreSystem) {
    DriveMap map;
    map.setDrive(u'C', c, DRIVE_FIXED);
    QDir().mkpath(c + "/proc");
    map.addVirtualMountPoint(c + "/proc");
    setDriveMap(map);
    EXPECT_EQ(fileAttributes("C:\\proc"),
              std::optional<std::uint32_t>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM));
}

TEST_F(FileOps, LastWriteTime) {
    writeBytes(c + "/t.txt", "x");
    const QDateTime when(QDate(2021, 3, 14), QTime(15, 9, 26));
    EXPECT_TRUE(setLastWriteTime("C:\\t.txt", when));
    EXPECT_EQ(lastWriteTime("C:\\t.txt"), std::optional<QDateTime>(when));
    EXPECT_FALSE(setLastWriteTime("C:\\none.txt", when));
}

TEST_F(FileOps, CreateFolderWithParents) {
    EXPECT_TRUE(createFolder("C:\\a\\b\\c"));
    EXPECT_TRUE(QDir(c + "/a/b/c").exists());
    EXPECT_TRUE(createFolder("C:\\a\\b\\c\\"));  // already there
    writeBytes(c + "/file", "x");
    EXPECT_FALSE(createFolder("C:\\file\\sub"));
    EXPECT_EQ(lastError(), 3);
    EXPECT_FALSE(createFolder("Y:\\x"));
}

TEST_F(FileOps, InstallerFolderEndsWithSeparator) {
    const QString own = installerFolder();
    EXPECT_TRUE(own.endsWith(u'/'));
    EXPECT_TRUE(QFile::exists(own + QStringLiteral("test_platform")));
    setInstallerFolder(c);
    EXPECT_EQ(installerFolder(), c + u'/');
    setInstallerFolder(QString());
    EXPECT_EQ(installerFolder(), own);
}

TEST_F(FileOps, ShellStartsExecutablesInTheirWorkingFolder) {
    const QString marker = c + "/work/marker.txt";
    QDir().mkpath(c + "/work");
    writeBytes(c + "/bin/tool.sh", "#!/bin/sh\necho \"$1 $2\" > marker.txt\n");
    ::chmod(QFile::encodeName(c + "/bin/tool.sh").constData(), 0755);

    EXPECT_GT(ShellOpen("C:\\bin\\tool.sh", "one \"two words\"", "C:\\work\\", SW_SHOWNORMAL), 32);
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(marker) && timer.elapsed() < 10000) {
        QThread::msleep(20);
    }
    QThread::msleep(50);
    EXPECT_EQ(readBytes(marker), QByteArray("one two words\n"));

    EXPECT_EQ(ShellOpen("C:\\bin\\none.sh", "", "", SW_SHOWNORMAL), SE_ERR_FNF);
    EXPECT_EQ(ShellOpen("C:\\bin\\tool.sh", "", "C:\\nowhere", SW_SHOWNORMAL), SE_ERR_PNF);
}

}  // namespace
