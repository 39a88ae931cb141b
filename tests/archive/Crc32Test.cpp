#include "ArchiveTesting.h"

#include "archive/Crc32.h"

#include <zlib.h>

using namespace selvanix;
using namespace selvanix::test;

namespace {

TEST(Crc32, AgreesWithZlibForEveryLengthAndSplit) {
    const QByteArray data = randomBytes(7000, 11);
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    EXPECT_EQ(crc32Of(p, 0), 0u);
    EXPECT_EQ(crc32Of("123456789", 9), 0xCBF43926u);  // the check value of the standard
    for (size_t length : {1, 7, 15, 16, 17, 31, 64, 1000, 3071, 3072, 3073, 4099, 6147}) {
        for (size_t offset : {0, 1, 3}) {
            if (offset + length > static_cast<size_t>(data.size())) {
                continue;
            }
            const auto expected =
                static_cast<std::uint32_t>(::crc32(0, p + offset, static_cast<uInt>(length)));
            EXPECT_EQ(crc32Of(p + offset, length), expected) << length << " at " << offset;
            // Fed in two unequal parts, the running value is the same.
            Crc32 split;
            split.update(p + offset, length / 3);
            split.update(p + offset + length / 3, length - length / 3);
            EXPECT_EQ(split.value(), expected);
        }
    }
}

}  // namespace
