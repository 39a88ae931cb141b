// A file written beside its place: never seen cut under its name, gone when it is dropped,
// and a link at its name replaced, never written through.
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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

// Every temporary is a staged file: one without a name, one written under its own, a second
// name of a file, and a private one. Each leaves nothing behind unless it is put in place, and
// none is ever written through a link.
TEST_F(Staged, AnUnnamedFileIsSeenOnlyOnceCommittedAndThenOverALink) {
    QTemporaryDir elsewhere;
    writeBytes(elsewhere.path() + "/secret", "keep");
    ASSERT_TRUE(QFile::link(elsewhere.path() + "/secret", dir.path() + "/body.zip"));
    {
        std::optional<StagedFile> dropped = StagedFile::unnamed(*folder, "download");
        ASSERT_TRUE(dropped);
        ASSERT_TRUE(dropped->file().write(QByteArray("half")));
        EXPECT_FALSE(dropped->commit());  // no name to put it under yet
    }
    EXPECT_EQ(names(), QStringList{"body.zip"});
    std::optional<StagedFile> staged = StagedFile::unnamed(*folder, "download");
    ASSERT_TRUE(staged);
    ASSERT_TRUE(staged->file().write(QByteArray("whole")));
    EXPECT_EQ(names(), QStringList{"body.zip"});
    EXPECT_FALSE(staged->commitAs("../escaped"));
    ASSERT_TRUE(staged->commitAs("body.zip"));
    EXPECT_FALSE(QFileInfo(dir.path() + "/body.zip").isSymLink());
    EXPECT_EQ(readBytes(dir.path() + "/body.zip"), QByteArray("whole"));
    EXPECT_EQ(readBytes(elsewhere.path() + "/secret"), QByteArray("keep"));
    EXPECT_EQ(names(), QStringList{"body.zip"});
}

TEST_F(Staged, AnAdoptedFilesNameGoesUnlessItIsCommitted) {
    for (const bool commit : {false, true}) {
        writeBytes(dir.path() + "/part", "assembled");
        std::optional<File> file = folder->openForUpdate("part");
        ASSERT_TRUE(file);
        {
            std::optional<StagedFile> staged = StagedFile::adopt(*folder, std::move(*file), "part");
            ASSERT_TRUE(staged);
            if (commit) {
                ASSERT_TRUE(staged->commitAs("archive.zip"));
            }
        }
        EXPECT_EQ(names(), commit ? QStringList{"archive.zip"} : QStringList{}) << commit;
    }
    EXPECT_EQ(readBytes(dir.path() + "/archive.zip"), QByteArray("assembled"));
}

TEST_F(Staged, ASecondNameReplacesWhatStandsThereAndNeverNamesALink) {
    QTemporaryDir elsewhere;
    writeBytes(elsewhere.path() + "/secret", "keep");
    writeBytes(dir.path() + "/archive.zip", "new");
    writeBytes(dir.path() + "/kept.zip", "old");
    std::optional<StagedFile> kept = StagedFile::secondName(*folder, "archive.zip", "kept.zip");
    ASSERT_TRUE(kept);
    EXPECT_EQ(readBytes(dir.path() + "/kept.zip"), QByteArray("old"));
    ASSERT_TRUE(kept->commit());
    EXPECT_EQ(readBytes(dir.path() + "/kept.zip"), QByteArray("new"));
    EXPECT_EQ(names(), (QStringList{"archive.zip", "kept.zip"}));
    ASSERT_TRUE(QFile::link(elsewhere.path() + "/secret", dir.path() + "/link.zip"));
    EXPECT_FALSE(StagedFile::secondName(*folder, "link.zip", "other.zip"));
    EXPECT_FALSE(StagedFile::secondName(*folder, "missing.zip", "other.zip"));
    EXPECT_EQ(names(), (QStringList{"archive.zip", "kept.zip", "link.zip"}));
}

TEST_F(Staged, APrivateFileHasNoNameAndOnlyThisUserMayReadIt) {
    std::optional<File> file = StagedFile::privateFile(*folder);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write(QByteArray("copy")));
    EXPECT_EQ(names(), QStringList{});
    struct stat st {};
    ASSERT_EQ(::fstat(file->descriptor(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_nlink, 0u);
}

}  // namespace
