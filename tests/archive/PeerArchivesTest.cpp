// Archives that other tools read whole, and the archiver must read whole as well.
#include "ExtractFixture.h"

#include <sys/stat.h>
#include <QProcess>

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

// Plain text after an entry's data, with no signature, before the next local header: the
// directory's sizes and offsets say where each entry is, whichever entry it follows.
TEST_F(PeerArchives, PlainTextAfterAnEntrysDataIsSkipped) {
    const QByteArray text = "unused plain text";
    ASSERT_EQ(text.size(), 17);
    for (const std::uint16_t method : {std::uint16_t(0), std::uint16_t(8)}) {
        ZipWriter w;
        w.entries.push_back({.name = "one.exe", .data = "seventeen bytes!!", .method = method});
        w.entries.push_back(
            {.name = "two.exe", .data = "second", .method = method, .gapBefore = text});
        w.entries.push_back(
            {.name = "three.exe", .data = "third", .method = method, .gapBefore = text});
        write(w);
        open();
        EXPECT_TRUE(extract().isEmpty()) << "method " << method;
        EXPECT_EQ(readBytes(base + "/one.exe"), QByteArray("seventeen bytes!!")) << method;
        EXPECT_EQ(readBytes(base + "/two.exe"), QByteArray("second")) << method;
        EXPECT_EQ(readBytes(base + "/three.exe"), QByteArray("third")) << method;
        arc.CloseArchive();
        QDir(base).removeRecursively();
        QDir().mkpath(base);
    }
}

// Info-ZIP's zip reading standard input records the pipe's mode in the entry; plain, with
// Zip64 records and with a data descriptor, the entry is its data in a regular file.
TEST_F(PeerArchives, EntriesZipWroteFromAPipeAreRegularFiles) {
    for (const QStringList& options : {QStringList{}, QStringList{"-fz"}, QStringList{"-fd"}}) {
        QFile::remove(archive);
        const QString command =
            QStringLiteral(
                "printf 'from a pipe\\n' | zip -q %1 '%2' - && printf '@ -\\n@=piped.exe\\n' "
                "| zipnote -w '%2'")
                .arg(options.join(u' '), archive);
        ASSERT_EQ(QProcess::execute("sh", {"-c", command}), 0) << command.toStdString();
        const QByteArray listing = [&] {
            QProcess zipinfo;
            zipinfo.start("zipinfo", {archive});
            zipinfo.waitForFinished();
            return zipinfo.readAllStandardOutput();
        }();
        ASSERT_TRUE(listing.contains("prw")) << "zip records a pipe: " << listing.toStdString();
        open();
        EXPECT_TRUE(extract().isEmpty()) << options.join(u' ').toStdString();
        EXPECT_TRUE(QFileInfo(base + "/piped.exe").isFile());
        EXPECT_EQ(readBytes(base + "/piped.exe"), QByteArray("from a pipe\n"));
        arc.CloseArchive();
        QDir(base).removeRecursively();
        QDir().mkpath(base);
    }
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
