// Range values and multipart/byteranges bodies as servers send them.
#include "net/ByteRanges.h"

#include <gtest/gtest.h>

namespace selvanix::net {
namespace {

QByteArray part(const QByteArray& boundary, qint64 first, const QByteArray& bytes, qint64 total) {
    return "\r\n--" + boundary + "\r\nContent-Type: application/zip\r\nContent-Range: bytes " +
           QByteArray::number(first) + '-' + QByteArray::number(first + bytes.size() - 1) + '/' +
           QByteArray::number(total) + "\r\n\r\n" + bytes;
}

// Feeds the body in pieces of the given size into a file of '.' bytes, at each part's place.
bool feedAll(MultipartRanges& reader, const QByteArray& body, qsizetype piece, QByteArray& file) {
    const auto sink = [&](qint64 at, const char* data, std::size_t size) {
        file.replace(at, static_cast<qsizetype>(size), data, static_cast<qsizetype>(size));
        return true;
    };
    for (qsizetype at = 0; at < body.size(); at += piece) {
        const QByteArray p = body.mid(at, piece);
        if (!reader.feed(p.constData(), static_cast<std::size_t>(p.size()), sink)) {
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
    // A part's bytes may hold the delimiter itself: only the lengths decide.
    const QByteArray body = "preamble" + part(b, 5, "hello", 1000) +
                            part(b, 700, "--" + b + "--\r\n", 1000) + "\r\n--" + b +
                            "--\r\nepilogue";
    for (const qsizetype piece : {qsizetype{1}, qsizetype{7}, body.size()}) {
        MultipartRanges reader(b, 1000);
        QByteArray file(1000, '.');
        ASSERT_TRUE(feedAll(reader, body, piece, file)) << piece;
        EXPECT_TRUE(reader.finished());
        QByteArray expected(1000, '.');
        expected.replace(5, 5, "hello");
        expected.replace(700, b.size() + 6, "--" + b + "--\r\n");
        EXPECT_EQ(file, expected);
    }
}

TEST(ByteRanges, PartsOfAnotherFileOrWithoutTheirRangeAreRefused) {
    const QByteArray b = "xyz";
    QByteArray got(1000, '.');
    MultipartRanges otherSize(b, 1000);
    EXPECT_FALSE(feedAll(otherSize, part(b, 0, "abc", 999), 4, got)) << "another file's size";
    MultipartRanges beyond(b, 10);
    EXPECT_FALSE(feedAll(beyond, part(b, 8, "abcdef", 10), 4, got)) << "past the end";
    MultipartRanges noRange(b, 10);
    EXPECT_FALSE(feedAll(noRange, "\r\n--xyz\r\nContent-Type: x\r\n\r\nabc", 4, got));
    MultipartRanges endless(b, 10);
    EXPECT_FALSE(feedAll(endless, QByteArray(20000, 'h'), 100, got)) << "a head without end";
    MultipartRanges cut(b, 1000);
    ASSERT_TRUE(feedAll(cut, part(b, 0, "abc", 1000), 4, got));
    EXPECT_FALSE(cut.finished()) << "no closing delimiter yet";
    EXPECT_EQ(got.left(4), "abc.") << "though its bytes went on";
    const auto refuse = [](qint64, const char*, std::size_t) { return false; };
    MultipartRanges refused(b, 1000);
    const QByteArray one = part(b, 0, "abc", 1000);
    EXPECT_FALSE(refused.feed(one.constData(), static_cast<std::size_t>(one.size()), refuse));
    EXPECT_EQ(parseContentRange("bytes 5-9/10")->last, 9);
    EXPECT_FALSE(parseContentRange("bytes 9-5/10").has_value());
}

}  // namespace
}  // namespace selvanix::net
