// The delta file's records: what the publisher writes is what a client reads, and a file
// whose records do not add up to it exactly is not read at all.
#include "delta/PatchFile.h"
#include "platform/handles/File.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

namespace selvanix::test {
namespace {

class PatchFileTest : public ::testing::Test {
protected:
    std::optional<std::vector<PatchRecord>> readBack(const QByteArray& bytes) {
        const QString path = dir.path() + "/d.delta";
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            return std::nullopt;
        }
        f.close();
        const std::optional<platform::File> file = platform::File::openRegular(path);
        return file ? PatchFile::read(*file) : std::nullopt;
    }
    static QByteArray sample() {
        return PatchFile::write(
            {{{.newOffset = 0, .oldOffset = 0, .method = PatchMethod::Whole, .size = 5}, "whole"},
             {{.newOffset = 77, .oldOffset = 60, .method = PatchMethod::Zstd, .size = 4000},
              "patch bytes"}});
    }
    QTemporaryDir dir;
};

TEST_F(PatchFileTest, RecordsReadBackWithWhereTheirPayloadsLie) {
    const QByteArray bytes = sample();
    const auto records = readBack(bytes);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 2u);
    const PatchRecord& second = (*records)[1];
    EXPECT_EQ(second.newOffset, 77u);
    EXPECT_EQ(second.oldOffset, 60u);
    EXPECT_EQ(second.method, PatchMethod::Zstd);
    EXPECT_EQ(second.size, 4000u);
    EXPECT_EQ(bytes.mid(static_cast<qsizetype>(second.payloadAt),
                        static_cast<qsizetype>(second.payloadLength)),
              "patch bytes");
    EXPECT_EQ(bytes.mid(static_cast<qsizetype>((*records)[0].payloadAt), 5), "whole");
    const auto none = readBack(PatchFile::write({}));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST_F(PatchFileTest, AFileThatDoesNotAddUpIsNotRead) {
    const QByteArray bytes = sample();
    EXPECT_FALSE(readBack(bytes.chopped(1)));  // cut in the last payload
    EXPECT_FALSE(readBack(bytes + "x"));       // bytes after the last record
    EXPECT_FALSE(readBack(bytes.left(20)));    // cut in the count
    EXPECT_FALSE(readBack("selvanix-delta 2\n" + bytes.mid(17)));
    QByteArray count = bytes;
    count[17] = 3;  // a record more than there are
    EXPECT_FALSE(readBack(count));
    QByteArray huge = bytes;
    huge[20] = 0x7F;  // more records than any delta holds
    EXPECT_FALSE(readBack(huge));
    QByteArray method = bytes;
    method[21 + 16] = 9;  // no such method
    EXPECT_FALSE(readBack(method));
    QByteArray whole = bytes;
    whole[21 + 17] = 6;  // a whole entry whose size is not its payload's
    EXPECT_FALSE(readBack(whole));
    QByteArray length = bytes;
    length[21 + 25 + 7] = 0x10;  // a payload far past the file's end
    EXPECT_FALSE(readBack(length));
    const QByteArray tooLarge =
        PatchFile::write({{{.method = PatchMethod::Bsdiff, .size = kMaxPatchedEntry + 1}, "x"}});
    EXPECT_FALSE(readBack(tooLarge));
}

}  // namespace
}  // namespace selvanix::test
