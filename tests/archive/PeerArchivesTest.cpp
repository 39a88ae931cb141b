// Archives that other tools read whole, and the archiver must read whole as well.
#include "ExtractFixture.h"

#include <sys/stat.h>

using namespace selvanix;
using namespace selvanix::test;

namespace {

class PeerArchives : public ExtractFiles {
protected:
    PeerArchives() { QDir().mkpath(base); }
};

TEST_F(PeerArchives, UnusedBytesBetweenEntriesAreSkipped) {
    ZipWriter w;
    w.entries.push_back({.name = "one.exe", .data = QByteArray(3000, 'a')});
    w.entries.push_back({.name = "two.exe", .data = "second", .gapBefore = QByteArray(517, '\0')});
    w.entries.push_back(
        {.name = "three.dll", .data = "third", .method = 0, .gapBefore = "PK\x03\x04junk"});
    write(w);
    open();
    EXPECT_TRUE(extract().isEmpty());
    EXPECT_EQ(readBytes(base + "/one.exe"), QByteArray(3000, 'a'));
    EXPECT_EQ(readBytes(base + "/two.exe"), QByteArray("second"));
    EXPECT_EQ(readBytes(base + "/three.dll"), QByteArray("third"));
}

TEST_F(PeerArchives, UnixModeDecidesBetweenFileAndFolder) {
    ZipWriter w;
    // All DOS attribute bits set, the folder bit among them, on an empty regular file.
    w.entries.push_back({.name = "empty.exe",
                         .data = "",
                         .versionMadeBy = 0x031E,
                         .externalAttr = (0100644u << 16) | 0xFFFF});
    w.entries.push_back(
        {.name = "made.exe", .data = "", .versionMadeBy = 0x031E, .externalAttr = 040755u << 16});
    // Without a mode the folder attribute alone decides, as for archives made on Windows.
    w.entries.push_back({.name = "dosdir.exe", .data = "", .externalAttr = 0x10});
    write(w);
    open();
    EXPECT_TRUE(extract().isEmpty());
    EXPECT_TRUE(QFileInfo(base + "/empty.exe").isFile());
    EXPECT_EQ(QFileInfo(base + "/empty.exe").size(), 0);
    EXPECT_TRUE(QFileInfo(base + "/made.exe").isDir());
    EXPECT_TRUE(QFileInfo(base + "/dosdir.exe").isDir());
}

TEST_F(PeerArchives, MoreThan65535EntriesWithoutZip64) {
    ZipWriter w;
    constexpr int kCount = 70000;
    w.entries.reserve(kCount);
    for (int i = 0; i < kCount; ++i) {
        w.entries.push_back(
            {.name = "f/" + QByteArray::number(i) + ".sql", .data = "", .method = 0});
    }
    write(w);  // the end record counts 70000 mod 65536 = 4464
    open();
    ASSERT_EQ(arc.directory().Count(), kCount);
    EXPECT_TRUE(extract().isEmpty());
    EXPECT_EQ(QDir(base + "/f").entryList(QDir::Files).size(), kCount);
}

TEST_F(PeerArchives, DeclaredSizePastTheNextEntryStillExtractsBoth) {
    ZipWriter w;
    const QByteArray first(20000, 'x');
    // The first entry's directory size reaches into the second entry; its stream ends sooner.
    w.entries.push_back({.name = "first.exe", .data = first, .storedCompSize = 60000});
    w.entries.push_back({.name = "second.exe", .data = "after"});
    write(w);
    open();
    EXPECT_TRUE(extract().isEmpty());
    EXPECT_EQ(readBytes(base + "/first.exe"), first);
    EXPECT_EQ(readBytes(base + "/second.exe"), QByteArray("after"));
}

}  // namespace
