#include "ArchiveTesting.h"

using namespace selvanix;
using namespace selvanix::test;

namespace {

struct Event {
    bool overall;
    double progress;
};

TEST(Decode, MethodsOtherThanStoredAndDeflate) {
    ZipWriter w;
    w.entries.push_back({.name = "a.exe", .data = "data", .method = 12});
    w.entries.push_back({.name = "b.exe", .data = "data", .method = 9});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    try {
        decode(arc, 0);
        FAIL();
    } catch (const EArcException& e) {
        EXPECT_EQ(e.NativeError(), 8);
        EXPECT_EQ(e.message(),
                  QStringLiteral("Pakovna: Invalid size or check sum of file or unsupported "
                                 "compression format - Native error: 00008"));
        EXPECT_EQ(ArcErrorMessages(e.ErrorCode()),
                  QStringLiteral("Invalid size or check sum of file or unsupported compression "
                                 "format"));
    }
    try {
        decode(arc, 1);
        FAIL();
    } catch (const EArcException& e) {
        EXPECT_EQ(e.NativeError(), 55);
        EXPECT_EQ(e.message(), QStringLiteral("Deflate64 compression method is not supported - "
                                              "Native error: 00055"));
    }
    EXPECT_EQ(nativeErrorOf([&] { decode(arc, 2); }), 16);
    EXPECT_EQ(ArcNativeToErrorCode(12345), 0);
    EXPECT_EQ(ArcErrorMessages(0), QStringLiteral("Unknown error"));
}

TEST(Decode, CrcIsTestedBelowVersion4114Only) {
    ZipWriter w;
    w.entries.push_back({.name = "bad.exe", .data = textBytes(2000), .crc = 0x12345678});
    w.entries.push_back(
        {.name = "new.exe", .data = textBytes(2000), .versionNeeded = 0x4114, .crc = 0x12345678});
    w.entries.push_back({.name = "short.exe", .data = "abc", .method = 0, .crc = 0});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    EXPECT_EQ(nativeErrorOf([&] { decode(arc, 0); }), 8);
    EXPECT_EQ(decode(arc, 1), textBytes(2000));
    EXPECT_EQ(nativeErrorOf([&] { decode(arc, 2); }), 8);
    // A damaged entry may be written out on request.
    arc.ExtractCorruptedFiles = true;
    EXPECT_EQ(decode(arc, 0), textBytes(2000));
}

TEST(Decode, DamagedDeflateDataFails) {
    ZipWriter w;
    QByteArray garbage = rawDeflate(textBytes(5000));
    garbage[10] = static_cast<char>(garbage[10] ^ 0x5A);
    garbage[11] = static_cast<char>(garbage[11] ^ 0xA5);
    w.entries.push_back({.name = "x.exe", .data = textBytes(5000), .compressed = garbage});
    // A bomb: claims 10 bytes, inflates to a mebibyte.
    w.entries.push_back({.name = "bomb.exe",
                         .data = "0123456789",
                         .compressed = rawDeflate(QByteArray(1 << 20, 'z'))});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    EXPECT_EQ(nativeErrorOf([&] { decode(arc, 0); }), 8);
    MemoryOutput out;
    EXPECT_EQ(nativeErrorOf([&] { arc.ExtractItem(1, out); }), 8);
    EXPECT_LE(out.bytes().size(), 10);
}

TEST(Decode, ZeroLengthEntries) {
    ZipWriter w;
    w.entries.push_back({.name = "empty.dll", .data = "", .method = 0});
    w.entries.push_back({.name = "empty2.dll", .data = ""});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    std::vector<Event> events;
    arc.OnFileProgress = [&](TArcBaseArchiver&, const QString&, double p, TArcProcessOperation,
                             TArcProgressPhase, bool&) {
        events.push_back({false, p});
    };
    arc.OnOverallProgress = [&](TArcBaseArchiver&, double p, TArcProcessOperation,
                                TArcProgressPhase, bool&) {
        events.push_back({true, p});
    };
    EXPECT_EQ(decode(arc, 0), QByteArray());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(arc.progressMax(), 2);
    EXPECT_EQ(decode(arc, 1), QByteArray());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_FALSE(events[0].overall);
    EXPECT_EQ(events[0].progress, 0.0);
    EXPECT_TRUE(events[1].overall);
}

TEST(Decode, LargeDeflatedEntryStreamsAcrossBlocksWithRisingProgress) {
    const QByteArray data = randomBytes(3 * 1048576 + 12345);
    ZipWriter w;
    w.entries.push_back({.name = "big.exe", .data = data});
    w.entries.push_back({.name = "big-stored.exe", .data = data, .method = 0});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    ASSERT_GT(arc.directory().Item(0).compressedSize(), 1048576u * 3);
    std::vector<double> perEntry;
    std::vector<double> overall;
    arc.setBatchPosition(1, 2);
    arc.OnFileProgress = [&](TArcBaseArchiver&, const QString& name, double p,
                             TArcProcessOperation op, TArcProgressPhase, bool&) {
        EXPECT_EQ(op, poExtract);
        EXPECT_FALSE(name.contains(u'/'));
        perEntry.push_back(p);
    };
    arc.OnOverallProgress = [&](TArcBaseArchiver&, double p, TArcProcessOperation,
                                TArcProgressPhase, bool&) { overall.push_back(p); };
    EXPECT_EQ(decode(arc, 0), data);
    ASSERT_GT(perEntry.size(), 3u);
    EXPECT_EQ(perEntry.front(), 0.0);
    EXPECT_TRUE(std::is_sorted(perEntry.begin(), perEntry.end()));
    EXPECT_LT(perEntry.back(), 100.0);
    EXPECT_DOUBLE_EQ(overall.front(), 50.0);  // (0 + 1) / 2
    EXPECT_GT(overall.back(), 90.0);

    // Stored data counts the piece about to be written: the last event says 100.
    perEntry.clear();
    EXPECT_EQ(decode(arc, 1), data);
    // Pieces of 65,535 bytes within blocks of one mebibyte: 17 a full block, 1 for the rest.
    EXPECT_EQ(perEntry.size(), 3u * 17 + 1);
    EXPECT_DOUBLE_EQ(perEntry.back(), 100.0);
}

TEST(Decode, CancelFromAProgressEventEndsQuietly) {
    ZipWriter w;
    w.entries.push_back({.name = "big.exe", .data = randomBytes(300000), .method = 0});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    int calls = 0;
    arc.OnFileProgress = [&](TArcBaseArchiver&, const QString&, double, TArcProcessOperation,
                             TArcProgressPhase, bool& cancel) { cancel = ++calls == 2; };
    const QByteArray written = decode(arc, 0);
    EXPECT_TRUE(arc.cancelled());
    EXPECT_EQ(written.size(), 65535);
}

TEST(Decode, CompressedSizeIsCutAtTheDirectory) {
    // Claims 500 bytes where 5 stand before the directory: no directory byte is decoded.
    ZipWriter w;
    w.entries.push_back({.name = "a.exe", .data = "hello", .method = 0, .storedCompSize = 500});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    EXPECT_EQ(decode(arc, 0), QByteArray("hello"));
    // When the true data is longer than what is left, the entry fails its size test.
    ZipWriter longer;
    longer.entries.push_back({.name = "b.exe",
                              .data = "helloworld",
                              .method = 0,
                              .compressed = QByteArray("hello"),
                              .storedCompSize = 10});
    TArcBaseArchiver arc2;
    openBytes(arc2, longer.build());
    EXPECT_EQ(nativeErrorOf([&] { decode(arc2, 0); }), 8);
}

// Takes at most `room` bytes, then reports the medium full.
class FullOutput : public MemoryOutput {
public:
    explicit FullOutput(qint64 room) : room_(room) {}
    qint64 write(const char* data, qint64 size) override {
        if (position() + size > room_) {
            return 0;
        }
        return MemoryOutput::write(data, size);
    }
    qint64 room_;
};

TEST(Decode, FullDiskRaises65OrAsksTheEvent) {
    ZipWriter w;
    w.entries.push_back({.name = "a.exe", .data = randomBytes(200000), .method = 0});
    TArcBaseArchiver arc;
    openBytes(arc, w.build());
    FullOutput out(100000);
    EXPECT_EQ(nativeErrorOf([&] { arc.ExtractItem(0, out); }), 65);

    // A handler that frees space gets the write repeated from the same position.
    int asked = 0;
    FullOutput retry(100000);
    arc.OnDiskFull = [&](TArcBaseArchiver&, int volume, const QString&, bool&) {
        EXPECT_EQ(volume, 0);
        ++asked;
        retry.room_ = 1 << 20;
    };
    arc.ExtractItem(0, retry);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(retry.bytes(), randomBytes(200000));

    // A handler that cancels ends the entry without an error.
    arc.OnDiskFull = [](TArcBaseArchiver&, int, const QString&, bool& cancel) { cancel = true; };
    FullOutput full(1000);
    arc.ExtractItem(0, full);
    EXPECT_TRUE(arc.cancelled());
}

}  // namespace
