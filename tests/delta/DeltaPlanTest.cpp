// Reading an archive's directory from its tail, and the plan that rebuilds a new archive from
// an old one and fetched ranges.
#include "delta/DeltaPlan.h"
#include "platform/handles/File.h"
#include "support/ReleasePair.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <algorithm>

namespace selvanix::test {
namespace {

void put32At(QByteArray& bytes, qsizetype at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

ZipLayout layoutOf(const QByteArray& archive) {
    QTemporaryDir dir;
    writeBytes(dir.path() + "/a.zip", archive);
    std::optional<platform::File> file = platform::File::openRegular(dir.path() + "/a.zip");
    EXPECT_TRUE(file.has_value());
    std::optional<ZipLayout> layout = readZipLayout(*file);
    EXPECT_TRUE(layout.has_value());
    return layout.value_or(ZipLayout{});
}

TEST(ZipTail, ReadsTheDirectoryOrSaysWhereItStarts) {
    const QByteArray two = releaseArchive(2);
    const ZipTail whole = readZipTail(two, two.size());
    ASSERT_EQ(whole.state, ZipTail::State::Read);
    EXPECT_TRUE(whole.directory.headersFollowDirectory());
    ASSERT_EQ(whole.directory.entries.size(), 40u);  // one gone, one new
    EXPECT_EQ(whole.directory.entries.front().name, "brodelik.exe");
    EXPECT_EQ(whole.directory.entries.back().name, "lib/new.dll");
    EXPECT_EQ(whole.directory.entries.back().size, 30000u);

    const ZipTail cut = readZipTail(two.right(100), two.size());
    ASSERT_EQ(cut.state, ZipTail::State::NeedsMore);
    EXPECT_EQ(static_cast<std::uint64_t>(cut.needFrom), whole.directory.offset);
    const ZipTail rest = readZipTail(two.mid(cut.needFrom), two.size());
    EXPECT_EQ(rest.state, ZipTail::State::Read);

    ZipWriter big;
    big.zip64End = true;
    ZipEntry e;
    e.name = "wide.dll";
    e.data = noise(3, 5000);
    e.zip64 = true;
    big.entries = {e};
    const QByteArray wide = big.build();
    const ZipTail read64 = readZipTail(wide, wide.size());
    ASSERT_EQ(read64.state, ZipTail::State::Read);
    EXPECT_EQ(read64.directory.entries[0].size, 5000u);
    EXPECT_FALSE(read64.directory.headersFollowDirectory());
    EXPECT_EQ(readZipTail(wide.right(60), wide.size()).state, ZipTail::State::NeedsMore);
}

TEST(ZipTail, RefusesDirectoriesThatDoNotDescribeTheFile) {
    const QByteArray two = releaseArchive(2);
    const qsizetype end = two.size() - 22 - static_cast<qsizetype>(strlen(kDerivedHeadersComment));
    const auto refused = [&](QByteArray bytes, const char* why) {
        EXPECT_EQ(readZipTail(bytes, bytes.size()).state, ZipTail::State::Unreadable) << why;
    };
    refused(two + "x", "the comment must run to the end of the file");
    refused(two.left(two.size() - 1), "nor stop short of it");
    QByteArray moreEntries = two;
    moreEntries[end + 8] = static_cast<char>(moreEntries[end + 8] + 1);
    moreEntries[end + 10] = static_cast<char>(moreEntries[end + 10] + 1);
    refused(moreEntries, "more entries than records");
    QByteArray shifted = two;
    put32At(shifted, end + 16,
            static_cast<std::uint32_t>(readZipTail(two, two.size()).directory.offset + 1));
    refused(shifted, "the directory must end where the end record starts");
    // A record whose entry would start inside the directory.
    const ZipTail read = readZipTail(two, two.size());
    QByteArray inside = two;
    put32At(inside, static_cast<qsizetype>(read.directory.offset) + 42,
            static_cast<std::uint32_t>(read.directory.offset - 10));
    refused(inside, "an entry inside the directory");
    // Sizes too large for the bytes before the directory.
    QByteArray oversized = two;
    put32At(oversized, static_cast<qsizetype>(read.directory.offset) + 20, 0x7FFFFFFF);
    refused(oversized, "a compressed size beyond the directory");
    refused(QByteArray(100, 'P'), "no end record at all");
}

// Builds the new archive from the plan alone, as the installer does: Copy from the old one,
// Write as planned, Fetch from the new one; the tail is fetched first.
QByteArray assembled(const DeltaPlan& plan, const QByteArray& kept, const QByteArray& next,
                     qint64 tailFrom) {
    QByteArray out(next.size(), '\0');
    qint64 cursor = 0;
    for (const DeltaSegment& s : plan.segments) {
        EXPECT_EQ(s.at, cursor) << "segments follow each other";
        const QByteArray bytes = s.kind == DeltaSegment::Kind::Fetch  ? next.mid(s.at, s.length)
                                 : s.kind == DeltaSegment::Kind::Copy ? kept.mid(s.from, s.length)
                                                                      : s.bytes;
        EXPECT_EQ(bytes.size(), s.length);
        out.replace(s.at, bytes.size(), bytes);
        cursor = s.at + s.length;
    }
    EXPECT_EQ(cursor, tailFrom) << "and cover all before the tail";
    out.replace(tailFrom, next.size() - tailFrom, next.mid(tailFrom));
    return out;
}

TEST(DeltaPlan, RebuildsTheNewArchiveExactlyFromTheOldOneAndFetchedRanges) {
    for (const bool derived : {true, false}) {
        SCOPED_TRACE(derived ? "derived headers" : "fetched headers");
        const QByteArray one = releaseArchive(1, {derived});
        const QByteArray two = releaseArchive(2, {derived});
        const ZipLayout kept = layoutOf(one);
        const ZipLayout next = layoutOf(two);
        const std::vector<int> matches = matchEntries(kept, next.directory);
        std::size_t same = 0;
        for (std::size_t i = 0; i < matches.size(); ++i) {
            same += matches[i] >= 0 ? 1 : 0;
            if (matches[i] >= 0) {
                EXPECT_EQ(kept.directory.entries[static_cast<std::size_t>(matches[i])].name,
                          next.directory.entries[i].name);
            }
        }
        EXPECT_EQ(same, 35u) << "all but the four changed and the new one, whatever their times";
        const qint64 tailFrom = static_cast<qint64>(next.directory.offset) - 100;
        const auto headers = [&](std::size_t entry) -> std::optional<qint64> {
            return static_cast<qint64>(next.dataOffsets[entry] -
                                       next.directory.entries[entry].localOffset);
        };
        qint64 previousFetched = -1;
        std::size_t previousSegments = 0;
        std::size_t fetchRanges = 0;
        for (const qint64 gap : {qint64{0}, kDeltaMergeGap, qint64{1} << 40}) {
            const DeltaPlan plan = planDelta(kept, next.directory, matches, tailFrom, headers, gap);
            EXPECT_EQ(assembled(plan, one, two, tailFrom), two) << "gap " << gap;
            EXPECT_EQ(plan.fetched + plan.reused, tailFrom);
            if (previousFetched >= 0) {
                EXPECT_GE(plan.fetched, previousFetched) << "merging fetches more";
                EXPECT_LE(plan.segments.size(), previousSegments) << "in fewer ranges";
            }
            previousFetched = plan.fetched;
            previousSegments = plan.segments.size();
            fetchRanges = static_cast<std::size_t>(std::count_if(
                plan.segments.begin(), plan.segments.end(),
                [](const DeltaSegment& s) { return s.kind == DeltaSegment::Kind::Fetch; }));
        }
        EXPECT_EQ(fetchRanges, 1u) << "with an endless gap all that is fetched is one range";
    }
}

TEST(DeltaPlan, AnEntryWhoseHeaderDisagreesIsFetchedWhole) {
    const QByteArray one = releaseArchive(1, {false});
    const QByteArray two = releaseArchive(2, {false});
    const ZipLayout kept = layoutOf(one);
    const ZipLayout next = layoutOf(two);
    const std::vector<int> matches = matchEntries(kept, next.directory);
    const qint64 tailFrom = static_cast<qint64>(next.directory.offset);
    const auto none = [](std::size_t) -> std::optional<qint64> { return std::nullopt; };
    const DeltaPlan plan = planDelta(kept, next.directory, matches, tailFrom, none, 0);
    EXPECT_EQ(plan.reused, 0);
    EXPECT_EQ(assembled(plan, one, two, tailFrom), two);

    // A local header that names another entry does not agree with the record.
    const ZipRecord& r = next.directory.entries[1];
    QByteArray header = two.mid(static_cast<qsizetype>(r.localOffset), 30 + r.name.size());
    EXPECT_TRUE(agreeingLocalHeaderLength(header, r).has_value());
    header[30] = 'X';
    EXPECT_FALSE(agreeingLocalHeaderLength(header, r).has_value());
    EXPECT_FALSE(agreeingLocalHeaderLength(header.left(29), r).has_value());
}

TEST(DeltaPlan, NothingInCommonIsNotWorthRanges) {
    const ZipLayout kept = layoutOf(releaseArchive(1));
    ZipWriter other;
    for (int i = 0; i < 5; ++i) {
        ZipEntry e;
        e.name = "other" + QByteArray::number(i) + ".dll";
        e.data = noise(static_cast<std::uint32_t>(i) + 99, 40000);
        other.entries.push_back(e);
    }
    const QByteArray archive = other.build();
    const ZipDirectory next = readZipTail(archive, archive.size()).directory;
    const std::vector<int> matches = matchEntries(kept, next);
    EXPECT_FALSE(worthAssembling(next, matches, archive.size()));
    const QByteArray two = releaseArchive(2);
    const ZipDirectory same = readZipTail(two, two.size()).directory;
    EXPECT_TRUE(worthAssembling(same, matchEntries(kept, same), two.size()));
}

}  // namespace
}  // namespace selvanix::test
