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
// directory's sizes and offsets say where each entry is, whichever entry it follows. Info-ZIP's
// unzip tests each archive first, so the archive is one a peer reads whole.
TEST_F(PeerArchives, PlainTextAfterAnEntrysDataIsSkipped) {
    const QByteArray text = "unused plain text";
    ASSERT_EQ(text.size(), 17);
    for (const std::uint16_t method : {std::uint16_t(0), std::uint16_t(8)}) {
        for (const bool descriptor : {false, true}) {
            const auto entry = [&](const QByteArray& name, const QByteArray& data,
                                   const QByteArray& gap) {
                ZipEntry e;
                e.name = name;
                e.data = data;
                e.method = method;
                e.dataDescriptor = descriptor;
                e.gapBefore = gap;
                return e;
            };
            ZipWriter w;
            w.entries = {entry("one.exe", "seventeen bytes!!", {}),
                         entry("two.exe", "second", text), entry("three.exe", "third", text)};
            write(w);
            const std::string variant =
                "method " + std::to_string(method) + (descriptor ? " with descriptor" : "");
            ASSERT_EQ(QProcess::execute("unzip", {"-tqq", archive}), 0) << variant;
            open();
            EXPECT_TRUE(extract().isEmpty()) << variant;
            EXPECT_EQ(readBytes(base + "/one.exe"), QByteArray("seventeen bytes!!")) << variant;
            EXPECT_EQ(readBytes(base + "/two.exe"), QByteArray("second")) << variant;
            EXPECT_EQ(readBytes(base + "/three.exe"), QByteArray("third")) << variant;
            arc.CloseArchive();
            QDir(base).removeRecursively();
            QDir().mkpath(base);
        }
    }
}

// A stored entry's data is its size: plain text the declared compressed size also counts is
// unused, as bsdtar, 7-Zip and Python's zipfile read it, first entry or middle. The CRC-32 still
// tests what is written.
TEST_F(PeerArchives, StoredDataEndsAtItsSizeWhenTheDeclaredSizeCountsMore) {
    const QByteArray data = "seventeen bytes!!";
    const QByteArray text = "unused plain text";
    for (const bool middle : {false, true}) {
        ZipEntry padded;
        padded.name = "padded.exe";
        padded.data = data;
        padded.method = 0;
        padded.compressed = data + text;
        ZipWriter w;
        w.entries.push_back({.name = "before.exe", .data = "before"});
        w.entries.insert(middle ? w.entries.end() : w.entries.begin(), padded);
        w.entries.push_back({.name = "after.exe", .data = "after", .method = 0});
        write(w);
        const std::string variant = middle ? "middle" : "first";
        QProcess python;
        python.start("python3", {"-c", "import sys, zipfile; "
                                       "sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1])"
                                       ".read('padded.exe'))",
                                 archive});
        ASSERT_TRUE(python.waitForFinished());
        ASSERT_EQ(python.readAllStandardOutput(), data) << "a peer reads the data: " << variant;
        open();
        EXPECT_TRUE(extract().isEmpty()) << variant;
        EXPECT_EQ(readBytes(base + "/padded.exe"), data) << variant;
        EXPECT_EQ(readBytes(base + "/before.exe"), QByteArray("before")) << variant;
        EXPECT_EQ(readBytes(base + "/after.exe"), QByteArray("after")) << variant;
        arc.CloseArchive();
        QDir(base).removeRecursively();
        QDir().mkpath(base);
    }
    // Bytes of the entry's own size that fail the check still fail the entry.
    ZipEntry wrong;
    wrong.name = "wrong.exe";
    wrong.data = data;
    wrong.method = 0;
    wrong.compressed = "Seventeen bytes!!" + text;
    ZipWriter w;
    w.entries.push_back(wrong);
    write(w);
    open();
    EXPECT_EQ(extract().size(), 1);
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
