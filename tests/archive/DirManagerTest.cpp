#include "ArchiveTesting.h"

#include "platform/CodePages.h"

using namespace selvanix;
using namespace selvanix::test;

namespace {

ZipWriter twoEntries() {
    ZipWriter w;
    w.entries.push_back({.name = "readme.exe", .data = textBytes(5000)});
    w.entries.push_back({.name = "bin/tool.dll", .data = "tool", .method = 0});
    return w;
}

TEST(DirManager, ListsEntriesOfAPlainArchive) {
    TArcBaseArchiver arc;
    openBytes(arc, twoEntries().build());
    ASSERT_EQ(arc.directory().Count(), 2);
    EXPECT_EQ(arc.directory().Item(0).Name, QStringLiteral("readme.exe"));
    EXPECT_EQ(arc.directory().Item(1).Name, QStringLiteral("bin/tool.dll"));
    EXPECT_EQ(arc.directory().Item(1).CompressionMethod, 0);
    EXPECT_EQ(arc.directory().StubSize, 0u);
    EXPECT_EQ(decode(arc, 0), textBytes(5000));
    EXPECT_EQ(decode(arc, 1), QByteArray("tool"));
}

TEST(DirManager, LongestCommentAndFalseTrailingSignature) {
    ZipWriter w = twoEntries();
    w.comment = QByteArray(65535, 'c');
    {
        TArcBaseArchiver arc;
        openBytes(arc, w.build());
        EXPECT_EQ(arc.directory().Count(), 2);
        EXPECT_EQ(arc.directory().ArchiveComment.size(), 65535);
    }
    // Trailing bytes holding an end signature that fails the candidate tests.
    w.comment.clear();
    QByteArray bytes = w.build();
    bytes += QByteArray("PK\x05\x06\x01\x00\x02\x00", 8) + QByteArray(30, '\xFF');
    TArcBaseArchiver arc;
    openBytes(arc, bytes);
    ASSERT_EQ(arc.directory().Count(), 2);
    EXPECT_EQ(arc.directory().CentralDirEnd.entriesCentralDir, 2);
    EXPECT_EQ(decode(arc, 1), QByteArray("tool"));
}

TEST(DirManager, Zip64RecordsAndTheirAbsence) {
    ZipWriter w = twoEntries();
    w.zip64End = true;
    w.entries[0].zip64 = true;
    const QByteArray bytes = w.build();
    {
        TArcBaseArchiver arc;
        openBytes(arc, bytes);
        EXPECT_TRUE(arc.directory().FZip64);
        ASSERT_EQ(arc.directory().Count(), 2);
        EXPECT_TRUE(arc.directory().Item(0).bHugeFile);
        EXPECT_EQ(decode(arc, 0), textBytes(5000));
    }
    // The locator points nowhere useful: error 40 without the component's name.
    QByteArray broken = bytes;
    const qsizetype locator = broken.lastIndexOf(QByteArray("PK\x06\x07", 4));
    broken[locator + 8] = static_cast<char>(broken[locator + 8] + 1);
    TArcBaseArchiver arc;
    try {
        openBytes(arc, broken);
        FAIL() << "opened";
    } catch (const EArcException& e) {
        EXPECT_EQ(e.NativeError(), 40);
        EXPECT_EQ(e.message(),
                  QStringLiteral("Cannot find 64-bit directory end record - Native error: 00040"));
    }
}

TEST(DirManager, StubInFrontWithOffsetsNotAdjusted) {
    for (const bool adjusted : {false, true}) {
        ZipWriter w = twoEntries();
        w.stub = QByteArray(3000, 'M');
        w.adjustOffsets = adjusted;
        TArcBaseArchiver arc;
        openBytes(arc, w.build());
        ASSERT_EQ(arc.directory().Count(), 2);
        EXPECT_EQ(decode(arc, 0), textBytes(5000)) << adjusted;
        EXPECT_EQ(decode(arc, 1), QByteArray("tool")) << adjusted;
    }
}

TEST(DirManager, TruncatedArchiveIsRebuiltFromLocalHeaders) {
    ZipWriter w;
    w.entries.push_back({.name = "a.exe", .data = randomBytes(30000), .method = 0});
    w.entries.push_back({.name = "b.exe", .data = randomBytes(5000, 8), .method = 0});
    w.entries.push_back({.name = "c.exe", .data = "gone"});
    const QByteArray whole = w.build();
    // Cut inside b's data; an entry is listed only while its size is below the archive's.
    const qsizetype cut = whole.indexOf("b.exe") + 5 + 2500;
    TArcBaseArchiver arc;
    openBytes(arc, whole.left(cut));
    ASSERT_EQ(arc.directory().Count(), 2);
    EXPECT_EQ(arc.directory().Item(0).Name, QStringLiteral("a.exe"));
    EXPECT_EQ(arc.directory().CentralDirOffset, static_cast<std::uint64_t>(cut));
    EXPECT_EQ(decode(arc, 0), randomBytes(30000));
    EXPECT_EQ(nativeErrorOf([&] { decode(arc, 1); }), 8);
}

TEST(DirManager, RebuildTakesSizesFromDataDescriptors) {
    ZipWriter w;
    w.entries.push_back({.name = "d.exe", .data = textBytes(4000), .dataDescriptor = true});
    w.entries.push_back({.name = "e.exe", .data = "eee", .method = 0, .dataDescriptor = true});
    QByteArray bytes = w.build();
    bytes.truncate(bytes.indexOf(QByteArray("PK\x01\x02", 4)));  // no directory at all
    TArcBaseArchiver arc;
    openBytes(arc, bytes);
    ASSERT_EQ(arc.directory().Count(), 2);
    EXPECT_EQ(arc.directory().Item(0).uncompressedSize(), 4000u);
    EXPECT_EQ(decode(arc, 0), textBytes(4000));
    EXPECT_EQ(decode(arc, 1), QByteArray("eee"));
}

TEST(DirManager, NoArchiveAtAll) {
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("just some text\n", 15), QByteArray("PK\x03\x04 short", 10)}) {
        TArcBaseArchiver arc;
        try {
            openBytes(arc, bytes);
            FAIL() << "opened";
        } catch (const EArcException& e) {
            EXPECT_EQ(e.NativeError(), 35);
            EXPECT_EQ(e.message(), QStringLiteral("Invalid archive file. - Native error: 00035"));
        }
        EXPECT_FALSE(arc.isOpen());
    }
}

TEST(DirManager, NamesDecodeByFlagsAndCodePages) {
    platform::setCodePages({1250, 852});
    const QByteArray oem852(
        "p\xFD\xA1li\xE7 \x9F"
        "ern\xD8.exe");  // "příliš černě.exe" in 852
    const QByteArray utf8 = QStringLiteral("kůň.exe").toUtf8();
    ZipWriter w;
    w.entries.push_back({.name = oem852, .data = "1"});
    w.entries.push_back({.name = utf8, .data = "2", .flags = 0x0800});
    w.entries.push_back({.name = "\xE8.exe", .data = "3", .flags = 0x0800});  // not UTF-8: ANSI
    w.entries.push_back({.name = "plain.exe",
                         .data = "4",
                         .extra = unicodeNameBlock(QStringLiteral("Žluťoučký.exe"))});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    platform::setCodePages({1252, 437});
    ASSERT_EQ(arc.directory().Count(), 4);
    EXPECT_EQ(arc.directory().Item(0).Name, QStringLiteral("příliš černě.exe"));
    EXPECT_EQ(arc.directory().Item(1).Name, QStringLiteral("kůň.exe"));
    EXPECT_EQ(arc.directory().Item(2).Name, QStringLiteral("č.exe"));
    EXPECT_EQ(arc.directory().Item(3).Name, QStringLiteral("Žluťoučký.exe"));
}

TEST(DirManager, HostileCountsAndLengthsEndAtTheFile) {
    ZipWriter w = twoEntries();
    QByteArray bytes = w.build();
    // Claim 65,000 entries in the end record: reading stops at the end and rebuilds.
    const qsizetype end = bytes.lastIndexOf(QByteArray("PK\x05\x06", 4));
    bytes[end + 8] = '\xE8';
    bytes[end + 9] = '\xFD';
    bytes[end + 10] = '\xE8';
    bytes[end + 11] = '\xFD';
    TArcBaseArchiver arc;
    openBytes(arc, bytes);
    EXPECT_EQ(arc.directory().Count(), 2);  // the two local headers
    EXPECT_EQ(decode(arc, 1), QByteArray("tool"));
}

// A file packed with local header signatures: the rebuilt directory stops at 65,535 entries.
TEST(DirManager, RebuildFromLocalHeadersIsBounded) {
    QByteArray header("PK\x03\x04", 4);
    header += QByteArray(22, '\0');
    header += QByteArray("\x01\x00\x00\x00", 4);  // a one-byte name, no extra field
    header += 'n';
    QByteArray bytes;
    for (int i = 0; i < 70000; ++i) {
        bytes += header;
    }
    TArcBaseArchiver arc;
    openBytes(arc, bytes);
    EXPECT_EQ(arc.directory().Count(), 65535);
}

}  // namespace
