// The release index: read only when a trusted key signed it for this product, every field
// checked before it is used, and facts of later releases carried without harm.
#include "config/ReleaseIndex.h"

#include <gtest/gtest.h>

namespace selvanix::test {
namespace {

const QByteArray kA(64, 'a');
const QByteArray kB(64, 'b');
const QByteArray kC(64, 'c');

class ReleaseIndexTest : public ::testing::Test {
protected:
    ReleaseIndex sample() const {
        ReleaseIndex index;
        index.product = "brodelik";
        index.archive = kA;
        index.deflate = "zlib 1.2.13 level -1 window 15 memory 8 strategy 0 piece 1048576";
        index.entries = {{0, kB}, {4096, kC}};
        index.deltas = {{kB, "upgrade-brodelik.zip.from-bbbbbbbbbbbbbbbb.delta", 1234, kC}};
        return index;
    }
    std::optional<ReleaseIndex> read(const QByteArray& text) const {
        return readReleaseIndex(text, "brodelik", {key.publicKey()});
    }
    signing::PrivateKey key = *signing::PrivateKey::generate();
};

TEST_F(ReleaseIndexTest, ASignedIndexReadsBackWhole) {
    ReleaseIndex withShare = sample();
    withShare.rollout = 0;
    EXPECT_EQ(read(withShare.text(key))->rollout, 0);
    const auto index = read(sample().text(key));
    ASSERT_TRUE(index);
    EXPECT_EQ(index->archive, kA);
    EXPECT_EQ(index->deflate, sample().deflate);
    EXPECT_EQ(index->entries, sample().entries);
    ASSERT_EQ(index->deltas.size(), 1u);
    EXPECT_EQ(index->deltas[0].size, 1234u);
    ASSERT_NE(index->deltaFrom(kB), nullptr);
    EXPECT_EQ(index->deltaFrom(kB)->sha256, kC);
    EXPECT_EQ(index->deltaFrom(kC), nullptr);
}

TEST_F(ReleaseIndexTest, AnotherKeyAnotherProductOrAnyChangedByteIsRefused) {
    const QByteArray text = sample().text(key);
    const signing::PrivateKey other = *signing::PrivateKey::generate();
    EXPECT_FALSE(readReleaseIndex(text, "brodelik", {other.publicKey()}));
    EXPECT_FALSE(readReleaseIndex(text, "komarek", {key.publicKey()}));
    EXPECT_FALSE(readReleaseIndex(text, "brodelik", {}));
    for (qsizetype at = 0; at < text.indexOf("podpis"); at += 7) {
        QByteArray bad = text;
        bad[at] = bad[at] == 'x' ? 'y' : 'x';
        EXPECT_FALSE(read(bad)) << at;
    }
    EXPECT_FALSE(read(text.chopped(1)));
    EXPECT_FALSE(read("x" + text));
    EXPECT_FALSE(read(text + "delta " + kA + " 1 " + kA + " evil.delta\n"));
    EXPECT_FALSE(read(QByteArray()));
    EXPECT_FALSE(read(QByteArray(kMaxReleaseIndexBytes + 1, '\n')));
}

// Signed but malformed: the signature proves who wrote it, not that a client may use it.
TEST_F(ReleaseIndexTest, MalformedFieldsAreRefusedAndUnknownOnesCarried) {
    const auto signedAs = [&](const QByteArray& lines) {
        return lines + "podpis " + key.sign(lines).toBase64() + '\n';
    };
    const QByteArray head = "selvanix-index 1\npurpose release-index\nproduct brodelik\n";
    const QByteArray rest = "archive " + kA + "\ndeflate zlib\n";
    EXPECT_TRUE(read(signedAs(head + rest)));
    EXPECT_TRUE(read(signedAs(head + rest + "channel stable\nrollout 25\n")));
    EXPECT_EQ(read(signedAs(head + rest + "rollout 25\n"))->rollout, 25);
    EXPECT_FALSE(read(signedAs(head + rest))->rollout.has_value()) << "absent: everyone";
    for (const QByteArray& bad :
         {QByteArray("archive " + kA.left(63) + "\n"), QByteArray("archive " + kA.toUpper() + "\n"),
          QByteArray("entry -1 " + kB + "\n"), QByteArray("entry 12 " + kB + " extra\n"),
          QByteArray("delta " + kB + " 10 " + kC + " ../../etc/passwd\n"),
          QByteArray("delta " + kB + " 10 " + kC + " .hidden\n"),
          QByteArray("delta " + kB + " 99999999999999999999 " + kC + " d.delta\n"),
          QByteArray("rollout 101\n"), QByteArray("rollout -1\n"), QByteArray("rollout 0050\n"),
          QByteArray("rollout 5 %\n"), QByteArray("\n")}) {
        EXPECT_FALSE(read(signedAs(head + rest + bad))) << bad.toStdString();
    }
    EXPECT_FALSE(read(signedAs(head + "deflate zlib\n")));  // no archive
    EXPECT_FALSE(
        read(signedAs("selvanix-index 1\npurpose release-notes\nproduct brodelik\n" + rest)));
}

}  // namespace
}  // namespace selvanix::test
