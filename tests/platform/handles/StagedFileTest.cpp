// A file written beside its place: never seen cut under its name, gone when it is dropped,
// and a link at its name replaced, never written through.
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <set>

using namespace selvanix::platform;
using selvanix::test::readBytes;
using selvanix::test::writeBytes;

namespace {

class Staged : public ::testing::Test {
protected:
    QStringList names() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QTemporaryDir dir;
    std::optional<FolderHandle> folder = FolderHandle::openHost(QFile::encodeName(dir.path()));
};

TEST_F(Staged, TheOldFileStandsUntilTheCommitAndNothingIsLeftBehind) {
    writeBytes(dir.path() + "/app.exe", "old");
    {
        std::optional<StagedFile> dropped = StagedFile::create(*folder, "app.exe");
        ASSERT_TRUE(dropped);
        ASSERT_TRUE(dropped->file().write(QByteArray("half")));
    }
    EXPECT_EQ(names(), QStringList{"app.exe"});
    std::optional<StagedFile> staged = StagedFile::create(*folder, "app.exe");
    ASSERT_TRUE(staged);
    ASSERT_TRUE(staged->file().write(QByteArray("new")));
    EXPECT_EQ(readBytes(dir.path() + "/app.exe"), QByteArray("old"));
    ASSERT_TRUE(staged->commit());
    EXPECT_EQ(readBytes(dir.path() + "/app.exe"), QByteArray("new"));
    EXPECT_EQ(names(), QStringList{"app.exe"});
    EXPECT_FALSE(staged->commit());  // once only
}

TEST_F(Staged, AKeptFileWaitsUnderItsTagsNameAndALeftoverOfTheTagIsReplaced) {
    const QByteArray tag = "0123456789abcdef";
    const QByteArray name = temporaryName("app.exe", tag);
    EXPECT_EQ(name, QByteArray(".app.exe.0123456789abcdef.tmp"));
    writeBytes(dir.path() + '/' + QFile::decodeName(name), "a killed run's");
    {
        std::optional<StagedFile> staged = StagedFile::create(*folder, "app.exe", tag);
        ASSERT_TRUE(staged);
        ASSERT_TRUE(staged->file().write(QByteArray("whole")));
        ASSERT_TRUE(staged->keep());
    }
    EXPECT_EQ(readBytes(dir.path() + '/' + QFile::decodeName(name)), QByteArray("whole"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/app.exe"));
    // A long name still makes a valid temporary name, the same one each time.
    const QByteArray longLeaf(250, 'x');
    EXPECT_LE(temporaryName(longLeaf, tag).size(), 255);
    EXPECT_EQ(temporaryName(longLeaf, tag), temporaryName(longLeaf, tag));
    EXPECT_NE(randomTag(), randomTag());
    EXPECT_FALSE(StagedFile::create(*folder, "a/b"));
    EXPECT_FALSE(StagedFile::create(*folder, ""));
}

// Names of 245 bytes that share their first 232: each its own temporary, each its own bytes.
TEST_F(Staged, DistinctLeavesNeverShareATemporaryWhateverTheirLength) {
    const QByteArray tag = "0123456789abcdef";
    std::set<QByteArray> names;
    for (int length = 200; length <= 255; ++length) {
        for (const char last : {'a', 'b'}) {
            const QByteArray leaf = QByteArray(length - 1, 'x') + last;
            const QByteArray name = temporaryName(leaf, tag);
            EXPECT_LE(name.size(), 255) << length;
            EXPECT_TRUE(names.insert(name).second) << "length " << length << " shares a name";
        }
    }
    const QByteArray shared(232, 's');
    const QByteArray one = shared + "one_file.dll";
    const QByteArray two = shared + "two_file.dll";
    for (const auto& [leaf, data] : {std::pair{one, QByteArray("1")}, {two, QByteArray("2")}}) {
        std::optional<StagedFile> staged = StagedFile::create(*folder, leaf, tag);
        ASSERT_TRUE(staged);
        ASSERT_TRUE(staged->file().write(data));
        ASSERT_TRUE(staged->keep());
        EXPECT_EQ(staged->identity().size, 1);
    }
    EXPECT_EQ(readBytes(dir.path() + '/' + QFile::decodeName(temporaryName(one, tag))), "1");
    EXPECT_EQ(readBytes(dir.path() + '/' + QFile::decodeName(temporaryName(two, tag))), "2");
}

TEST_F(Staged, ALinkAtTheNameIsReplacedAndWhatItNamesIsUntouched) {
    QTemporaryDir elsewhere;
    writeBytes(elsewhere.path() + "/secret", "keep");
    ASSERT_TRUE(QFile::link(elsewhere.path() + "/secret", dir.path() + "/app.exe"));
    std::optional<StagedFile> staged = StagedFile::beside(dir.path() + "/app.exe");
    ASSERT_TRUE(staged);
    ASSERT_TRUE(staged->file().write(QByteArray("new")));
    ASSERT_TRUE(staged->commit());
    EXPECT_FALSE(QFileInfo(dir.path() + "/app.exe").isSymLink());
    EXPECT_EQ(readBytes(dir.path() + "/app.exe"), QByteArray("new"));
    EXPECT_EQ(readBytes(elsewhere.path() + "/secret"), QByteArray("keep"));
}

TEST_F(Staged, AFolderTreeGoesWithoutFollowingALinkInIt) {
    QTemporaryDir elsewhere;
    writeBytes(elsewhere.path() + "/kept", "keep");
    QDir().mkpath(dir.path() + "/tree/deep/er");
    writeBytes(dir.path() + "/tree/deep/er/file", "x");
    ASSERT_TRUE(QFile::link(elsewhere.path(), dir.path() + "/tree/link"));
    EXPECT_TRUE(folder->removeTree("tree"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/tree"));
    EXPECT_EQ(readBytes(elsewhere.path() + "/kept"), QByteArray("keep"));
    EXPECT_TRUE(folder->removeTree("gone"));
    // A move never replaces what stands at its new name.
    writeBytes(dir.path() + "/a", "a");
    writeBytes(dir.path() + "/b", "b");
    EXPECT_FALSE(folder->moveTo("a", *folder, "b"));
    EXPECT_EQ(readBytes(dir.path() + "/b"), QByteArray("b"));
}

}  // namespace
