#include "platform/FileOps.h"
#include "platform/handles/AtomicFile.h"
#include "platform/handles/File.h"

#include "support/FileSizeLimit.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace selvanix::platform;
using selvanix::test::readBytes;
using selvanix::test::TestDrives;
using selvanix::test::writeBytes;

namespace {

class Files : public ::testing::Test {
protected:
    TestDrives drives;
    QString c = drives.add(u'C');
};

TEST_F(Files, WriteReadAndFlush) {
    {
        auto f = File::open("C:\\data.bin", File::Mode::Create);
        ASSERT_TRUE(f.has_value());
        EXPECT_TRUE(f->write("hello world"));
        EXPECT_TRUE(f->flush());
        EXPECT_EQ(f->size(), 11);
    }
    auto f = File::open("C:\\data.bin", File::Mode::ReadWrite);
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(f->seek(6));
    EXPECT_TRUE(f->write("there"));
    EXPECT_TRUE(f->close());
    EXPECT_EQ(readBytes(c + "/data.bin"), QByteArray("hello there"));
    EXPECT_FALSE(File::open("C:\\none.bin", File::Mode::Read).has_value());
    EXPECT_EQ(lastError(), 2);
    QDir().mkpath(c + "/folder");
    EXPECT_FALSE(File::open("C:\\folder", File::Mode::Read).has_value());
}

TEST_F(Files, AtomicReplaceKeepsPermissionsAndFollowsLinks) {
    writeBytes(c + "/s.kac", "old");
    ::chmod(QFile::encodeName(c + "/s.kac").constData(), 0640);
    ASSERT_EQ(::symlink("s.kac", QFile::encodeName(c + "/link.kac").constData()), 0);
    EXPECT_TRUE(replaceFileAtomically("C:\\link.kac", "new content"));
    EXPECT_EQ(readBytes(c + "/s.kac"), QByteArray("new content"));
    EXPECT_TRUE(QFileInfo(c + "/link.kac").isSymLink());
    struct stat st {};
    ::stat(QFile::encodeName(c + "/s.kac").constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(c).entryList(QDir::Hidden | QDir::Files).filter(".tmp").size(), 0);
}

TEST_F(Files, AtomicReplaceRefusesWhatItMayNotWrite) {
    writeBytes(c + "/ro.kac", "keep");
    ::chmod(QFile::encodeName(c + "/ro.kac").constData(), 0444);
    EXPECT_FALSE(replaceFileAtomically("C:\\ro.kac", "x"));
    EXPECT_EQ(lastError(), 5);
    EXPECT_EQ(readBytes(c + "/ro.kac"), QByteArray("keep"));
    EXPECT_FALSE(replaceFileAtomically("C:\\missing\\s.kac", "x"));
    EXPECT_FALSE(QDir(c + "/missing").exists());
}

TEST_F(Files, AtomicReplaceFailingMidwayLeavesTheOldFile) {
    const QByteArray old(100, 'o');
    writeBytes(c + "/s.kac", old);
    const int code = selvanix::test::exitCodeUnderFileSizeLimit(4096, [] {
        const bool ok = replaceFileAtomically("C:\\s.kac", QByteArray(10000, 'n'));
        return ok ? 1 : (lastError() == 112 ? 0 : 2);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes(c + "/s.kac"), old);
    EXPECT_EQ(QDir(c).entryList(QDir::Hidden | QDir::Files), QStringList{"s.kac"});
}

}  // namespace
