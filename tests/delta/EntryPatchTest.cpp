// Patches of an entry's contents: each method rebuilds exactly the new contents, and no
// patch, however made, writes outside what it is given or passes for a good one.
#include "delta/Bsdiff.h"
#include "delta/EntryPatch.h"
#include "delta/ZstdFrames.h"

#include <gtest/gtest.h>
#include <QRandomGenerator>
#include <QtEndian>
#include <span>

namespace selvanix::test {
namespace {

std::span<const char> view(const QByteArray& b) {
    return {b.constData(), static_cast<std::size_t>(b.size())};
}

// Text-like contents: words from a small vocabulary, as source code or a script is.
QByteArray release(int words, quint32 seed) {
    static const char* vocabulary[] = {"function", "return", "const", "value", "index",
                                       "{",        "}",      "(",     ")",     ";",
                                       "\n",       "if",     "else",  "map"};
    QRandomGenerator random(seed);
    QByteArray out;
    for (int i = 0; i < words; ++i) {
        out += vocabulary[random.bounded(14)];
        out += ' ';
    }
    return out;
}

// The next release of old: a few places changed, a block inserted, one removed.
QByteArray edited(QByteArray old) {
    old.replace(1000, 40, "replaced by the next release of this file");
    old.insert(old.size() / 2, release(300, 99));
    old.remove(old.size() - 5000, 2000);
    old[7] = 'X';
    return old;
}

QByteArray rebuilt(PatchMethod method, const QByteArray& old, const QByteArray& patch,
                   qsizetype size) {
    QByteArray out(size, '\0');
    if (!applyPatch(method, view(old), view(patch),
                    {out.data(), static_cast<std::size_t>(out.size())})) {
        return "<refused>";
    }
    return out;
}

TEST(EntryPatch, EachMethodRebuildsTheNewContentsExactly) {
    const QByteArray old = release(40000, 1);
    const QByteArray next = edited(old);
    const QByteArray zstdPatch = zstd::compressAgainst(view(old), view(next), 19);
    const QByteArray bsdiffPatch = bsdiff::make(view(old), view(next));
    EXPECT_EQ(rebuilt(PatchMethod::Zstd, old, zstdPatch, next.size()), next);
    EXPECT_EQ(rebuilt(PatchMethod::Bsdiff, old, bsdiffPatch, next.size()), next);
    // A patch of a few edits is a small share of the contents it rebuilds.
    EXPECT_LT(zstdPatch.size(), next.size() / 20);
    EXPECT_LT(bsdiffPatch.size(), next.size() / 20);
    const auto best = smallestPatch(view(old), view(next), next.size());
    ASSERT_TRUE(best);
    EXPECT_EQ(best->bytes.size(), std::min(zstdPatch.size(), bsdiffPatch.size()));
    EXPECT_EQ(rebuilt(best->method, old, best->bytes, next.size()), next);
}

TEST(EntryPatch, EmptyAndUnrelatedContentsStillRebuild) {
    const QByteArray some = release(2000, 5);
    const QByteArray other = release(2000, 6);
    for (const auto& [old, next] :
         {std::pair{QByteArray(), some}, std::pair{some, QByteArray()}, std::pair{some, other},
          std::pair{QByteArray(), QByteArray()}}) {
        const QByteArray z = zstd::compressAgainst(view(old), view(next), 3);
        const QByteArray b = bsdiff::make(view(old), view(next));
        EXPECT_EQ(rebuilt(PatchMethod::Zstd, old, z, next.size()), next);
        EXPECT_EQ(rebuilt(PatchMethod::Bsdiff, old, b, next.size()), next);
    }
}

TEST(EntryPatch, NoPatchWhenNoneIsSmallerThanTheEntry) {
    const QByteArray old = release(3000, 7);
    QByteArray noise(20000, '\0');
    QRandomGenerator(8).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    EXPECT_FALSE(smallestPatch(view(old), view(noise), 100));
    EXPECT_FALSE(smallestPatch(view(old), view(noise), noise.size()));
}

// Damage anywhere in a patch, or a size other than the one it makes, is refused: never a crash,
// never bytes written outside the output.
TEST(EntryPatch, ADamagedPatchOrAWrongSizeIsRefused) {
    const QByteArray old = release(8000, 11);
    const QByteArray next = edited(old);
    for (const PatchMethod method : {PatchMethod::Zstd, PatchMethod::Bsdiff}) {
        const QByteArray patch = method == PatchMethod::Zstd
                                     ? zstd::compressAgainst(view(old), view(next), 19)
                                     : bsdiff::make(view(old), view(next));
        EXPECT_EQ(rebuilt(method, old, patch, next.size() + 1), "<refused>");
        EXPECT_EQ(rebuilt(method, old, patch, next.size() - 1), "<refused>");
        EXPECT_EQ(rebuilt(method, old, patch.left(patch.size() / 2), next.size()), "<refused>");
        EXPECT_EQ(rebuilt(method, old, patch + "x", next.size()), "<refused>");
        EXPECT_EQ(rebuilt(method, old, QByteArray(), next.size()), "<refused>");
        int refused = 0;
        for (qsizetype at = 0; at < patch.size(); at += std::max<qsizetype>(1, patch.size() / 97)) {
            QByteArray bad = patch;
            bad[at] = static_cast<char>(bad[at] ^ 0x5A);
            const QByteArray out = rebuilt(method, old, bad, next.size());
            refused += out == "<refused>" ? 1 : 0;
            // A change that still decodes must not pass for the real contents by chance.
            EXPECT_TRUE(out == "<refused>" || out != next || bad == patch) << at;
        }
        EXPECT_GT(refused, 0);
    }
    EXPECT_EQ(rebuilt(PatchMethod::Whole, old, next, next.size()), "<refused>");
}

// A suffix-sorting patch whose control reaches outside the old contents or past the output is
// refused before anything is copied.
TEST(EntryPatch, AControlOutsideTheContentsIsRefused) {
    const QByteArray old = release(500, 12);
    const auto frame = [](const QByteArray& b) {
        return zstd::compress({b.constData(), static_cast<std::size_t>(b.size())}, 3, 20);
    };
    const auto control = [](std::initializer_list<qint64> values) {
        QByteArray out;
        for (const qint64 v : values) {
            char bytes[8];
            qToLittleEndian(v, bytes);
            out.append(bytes, 8);
        }
        return out;
    };
    const auto patchOf = [&](const QByteArray& c, const QByteArray& diff, const QByteArray& extra) {
        const QByteArray frames[] = {frame(c), frame(diff), frame(extra)};
        QByteArray patch;
        for (const QByteArray& f : frames) {
            char bytes[8];
            qToLittleEndian<qint64>(f.size(), bytes);
            patch.append(bytes, 8);
        }
        return patch + frames[0] + frames[1] + frames[2];
    };
    const QByteArray zeros(16, '\0');
    // Well-formed: 16 bytes copied from old at 10.
    EXPECT_EQ(
        rebuilt(PatchMethod::Bsdiff, old, patchOf(control({0, 0, 10, 16, 0, 0}), zeros, {}), 16),
        old.mid(10, 16));
    for (const QByteArray& bad :
         {control({0, 0, old.size() - 8, 16, 0, 0}),  // copies past old's end
          control({0, 0, -20, 16, 0, 0}),             // from before its start
          control({16, 0, 0, 16, 0, 0}),              // more than the output holds
          control({-1, 17, 0}),                       // a negative length
          control({8, 0, 0})}) {                      // less than the output
        EXPECT_EQ(rebuilt(PatchMethod::Bsdiff, old, patchOf(bad, zeros, {}), 16), "<refused>");
    }
}

}  // namespace
}  // namespace selvanix::test
