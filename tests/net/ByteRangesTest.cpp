// Range values and multipart/byteranges bodies as servers send them.
#include "net/ByteRanges.h"
#include "net/RangeAnswer.h"

#include <gtest/gtest.h>

namespace selvanix::net {
namespace {

QByteArray part(const QByteArray& boundary, qint64 first, const QByteArray& bytes, qint64 total) {
    return "\r\n--" + boundary + "\r\nContent-Type: application/zip\r\nContent-Range: bytes " +
           QByteArray::number(first) + '-' + QByteArray::number(first + bytes.size() - 1) + '/' +
           QByteArray::number(total) + "\r\n\r\n" + bytes;
}

// Feeds the body in pieces of the given size into a file of '.' bytes, at each part's place.
bool feedAll(MultipartRanges& reader, RangeAnswer& answer, const QByteArray& body, qsizetype piece,
             QByteArray& file) {
    const auto sink = [&](qint64 at, const char* data, std::size_t size) {
        file.replace(at, static_cast<qsizetype>(size), data, static_cast<qsizetype>(size));
        return true;
    };
    for (qsizetype at = 0; at < body.size(); at += piece) {
        const QByteArray p = body.mid(at, piece);
        if (!reader.feed(p.constData(), static_cast<std::size_t>(p.size()), answer, sink)) {
            return false;
        }
    }
    return true;
}

TEST(ByteRanges, MultipartBodiesGiveEachPartAtItsOffsetInAnyPieces) {
    EXPECT_EQ(rangesValue({{0, 10}, {100, 1}, {200, 50}}), "bytes=0-9,100-100,200-249");
    EXPECT_EQ(byteRangesBoundary("multipart/byteranges; boundary=00000000001"), "00000000001");
    EXPECT_EQ(byteRangesBoundary("Multipart/ByteRanges;boundary=\"a b\""), "a b");
    EXPECT_FALSE(byteRangesBoundary("application/zip").has_value());
    EXPECT_FALSE(byteRangesBoundary("multipart/byteranges").has_value());

    const QByteArray b = "3d6b6a416f9b5";
    const QByteArray tricky = "--" + b + "--\r\n";
    // A part's bytes may hold the delimiter itself: only the lengths decide.
    const QByteArray body = "preamble" + part(b, 5, "hello", 1000) + part(b, 700, tricky, 1000) +
                            "\r\n--" + b + "--\r\nepilogue";
    for (const qsizetype piece : {qsizetype{1}, qsizetype{7}, body.size()}) {
        MultipartRanges reader(b);
        RangeAnswer answer({{5, 5}, {700, tricky.size()}}, 1000);
        QByteArray file(1000, '.');
        ASSERT_TRUE(feedAll(reader, answer, body, piece, file)) << piece;
        EXPECT_TRUE(reader.finished());
        EXPECT_TRUE(answer.missing().empty());
        QByteArray expected(1000, '.');
        expected.replace(5, 5, "hello");
        expected.replace(700, tricky.size(), tricky);
        EXPECT_EQ(file, expected);
    }
}

TEST(ByteRanges, PartsOfAnotherFileOrWithoutTheirRangeAreRefused) {
    const QByteArray b = "xyz";
    QByteArray got(1000, '.');
    const auto feed = [&](const QByteArray& body, qint64 size, std::vector<ByteRange> asked) {
        MultipartRanges reader(b);
        RangeAnswer answer(std::move(asked), size);
        return feedAll(reader, answer, body, 4, got);
    };
    EXPECT_FALSE(feed(part(b, 0, "abc", 999), 1000, {{0, 3}})) << "another file's size";
    EXPECT_FALSE(feed(part(b, 8, "abcdef", 10), 10, {{8, 2}})) << "past the end";
    EXPECT_FALSE(feed("\r\n--xyz\r\nContent-Type: x\r\n\r\nabc", 10, {{0, 3}})) << "no range";
    EXPECT_FALSE(feed(QByteArray(20000, 'h'), 10, {{0, 3}})) << "a head without end";
    EXPECT_FALSE(
        feed(part(b, 0, "abc", 1000) + "\r\n--xyz--" + QByteArray(20000, 'e'), 1000, {{0, 3}}))
        << "an endless epilogue";
    MultipartRanges cut(b);
    RangeAnswer cutAnswer({{0, 3}, {10, 3}}, 1000);
    ASSERT_TRUE(feedAll(cut, cutAnswer, part(b, 0, "abc", 1000), 4, got));
    EXPECT_FALSE(cut.finished()) << "no closing delimiter yet";
    EXPECT_EQ(got.left(4), "abc.") << "though its bytes went on";
    ASSERT_EQ(cutAnswer.missing().size(), 1u);
    EXPECT_EQ(cutAnswer.missing()[0].at, 10);
    const auto refuse = [](qint64, const char*, std::size_t) { return false; };
    MultipartRanges refused(b);
    RangeAnswer refusedAnswer({{0, 3}}, 1000);
    const QByteArray one = part(b, 0, "abc", 1000);
    EXPECT_FALSE(
        refused.feed(one.constData(), static_cast<std::size_t>(one.size()), refusedAnswer, refuse));
    EXPECT_EQ(parseContentRange("bytes 5-9/10")->last, 9);
    EXPECT_FALSE(parseContentRange("bytes 9-5/10").has_value());
}

// What an answer may hold: parts within what was asked, merged or in any order, never more
// parts than ranges, never one over another; only asked bytes reach the file.
TEST(RangeAnswers, HoldEveryPartToTheRangesAsked) {
    const std::vector<ByteRange> asked{{10, 5}, {20, 5}, {40, 5}};
    const auto range = [](qint64 first, qint64 last) { return ContentRange{first, last, 100}; };
    struct Written {
        qint64 at;
        QByteArray bytes;
    };
    std::vector<Written> written;
    const auto sink = [&](qint64 at, const char* data, std::size_t size) {
        written.push_back({at, QByteArray(data, static_cast<qsizetype>(size))});
        return true;
    };
    const auto give = [&](RangeAnswer& answer, qint64 first, qint64 last) {
        if (!answer.beginPart(range(first, last))) {
            return false;
        }
        const QByteArray bytes(last - first + 1, 'x');
        return answer.take(bytes.constData(), static_cast<std::size_t>(bytes.size()), sink);
    };

    {  // Merged neighbours: the gap between them never reaches the file.
        RangeAnswer answer(asked, 100);
        ASSERT_TRUE(give(answer, 10, 24));
        ASSERT_TRUE(give(answer, 40, 44));
        EXPECT_TRUE(answer.missing().empty());
        ASSERT_EQ(written.size(), 3u);
        EXPECT_EQ(written[0].at, 10);
        EXPECT_EQ(written[0].bytes.size(), 5);
        EXPECT_EQ(written[1].at, 20);
        EXPECT_EQ(written[1].bytes.size(), 5);
        EXPECT_EQ(written[2].at, 40);
    }
    {  // Reordered parts are the same answer.
        RangeAnswer answer(asked, 100);
        EXPECT_TRUE(give(answer, 40, 44));
        EXPECT_TRUE(give(answer, 10, 14));
        EXPECT_TRUE(give(answer, 20, 24));
        EXPECT_TRUE(answer.missing().empty());
    }
    {  // Only the first part: the rest is missing, to be asked again.
        RangeAnswer answer(asked, 100);
        EXPECT_TRUE(give(answer, 10, 14));
        const std::vector<ByteRange> missing = answer.missing();
        ASSERT_EQ(missing.size(), 2u);
        EXPECT_EQ(missing[0].at, 20);
        EXPECT_EQ(missing[1].at, 40);
    }
    {  // A part cut short leaves its own rest missing.
        RangeAnswer answer({{10, 10}}, 100);
        ASSERT_TRUE(answer.beginPart(range(10, 19)));
        ASSERT_TRUE(answer.take("abc", 3, sink));
        ASSERT_EQ(answer.missing().size(), 1u);
        EXPECT_EQ(answer.missing()[0].at, 13);
        EXPECT_EQ(answer.missing()[0].length, 7);
        EXPECT_FALSE(answer.beginPart(range(30, 30))) << "a part before the last one ended";
        EXPECT_FALSE(answer.take(QByteArray(8, 'y').constData(), 8, sink)) << "past its end";
    }
    written.clear();
    const std::vector<std::pair<qint64, qint64>> refused{
        {9, 12},   // begins before the first asked byte
        {43, 45},  // ends after the last
        {30, 32},  // within the span but touches no asked range
    };
    for (const auto& [first, last] : refused) {
        RangeAnswer answer(asked, 100);
        EXPECT_FALSE(answer.beginPart(range(first, last))) << first << '-' << last;
    }
    {
        RangeAnswer answer(asked, 100);
        EXPECT_FALSE(answer.beginPart({10, 14, 99})) << "another file's size";
        ASSERT_TRUE(give(answer, 10, 14));
        EXPECT_FALSE(give(answer, 12, 21)) << "over an earlier part";
        EXPECT_FALSE(give(answer, 10, 14)) << "the same part again";
        ASSERT_TRUE(give(answer, 20, 20));
        ASSERT_TRUE(give(answer, 21, 24));
        EXPECT_FALSE(give(answer, 40, 44)) << "a fourth part to three ranges";
    }
    EXPECT_EQ(written.size(), 3u) << "nothing of a refused part reached the file";
}

}  // namespace
}  // namespace selvanix::net
