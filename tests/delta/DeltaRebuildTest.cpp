// Updates whose changed entries a delta rebuilds, against nginx on loopback: the exact archive
// or, entry by entry, the ranges as before; never an entry that did not hash as signed.
#include "DeltaFixture.h"
#include "archive/EntryDeflate.h"
#include "delta/DeltaBuilder.h"
#include "delta/ResumableDownload.h"
#include "support/ReleasePair.h"
#include "support/TestNginx.h"

#include <gtest/gtest.h>

namespace selvanix::test {
namespace {

class DeltaRebuild : public ArchiveDeltaTest {
protected:
    // The delta from one to two as the publisher's builder makes it, saved beside the
    // downloads and opened as a client opens it once the index named its size and hash.
    std::shared_ptr<const VerifiedDelta> deltaFor(const QByteArray& one, const QByteArray& two) {
        writeBytes(work.path() + "/one.zip", one);
        writeBytes(work.path() + "/two.zip", two);
        const auto a = platform::File::openRegular(work.path() + "/one.zip");
        const auto b = platform::File::openRegular(work.path() + "/two.zip");
        std::optional<BuiltDelta> built = buildDelta(*a, *b);
        if (!built) {
            return nullptr;
        }
        writeBytes(work.path() + "/d.delta", built->bytes);
        deltaSize = built->bytes.size();
        auto opened = openVerifiedDelta(work.path() + "/d.delta",
                                        static_cast<std::uint64_t>(built->bytes.size()),
                                        sha256(built->bytes), built->hashes);
        return opened ? std::make_shared<const VerifiedDelta>(std::move(*opened)) : nullptr;
    }
    // Serves two and fetches it over one, with the delta.
    Fetched update(const QByteArray& one, const QByteArray& two, bool keyed = true) {
        writeBytes(www.path() + u'/' + kName, two);
        installed(one);
        const auto delta = deltaFor(one, two);
        EXPECT_TRUE(delta);
        return fetch(nginx.url(u'/' + kName), keyed ? namesOnly(two) : nullptr, kDeltaMergeGap,
                     delta);
    }

    QTemporaryDir work;
    QTemporaryDir www;
    TestNginx nginx{www.path()};
    qint64 deltaSize = 0;
};

// Text that compresses, as program files do; release 2 edits it in a few places.
QByteArray text(int release, int lines) {
    QByteArray out;
    for (int i = 0; i < lines; ++i) {
        out += "line " + QByteArray::number(i) +
               (release == 2 && i % 997 == 5 ? " edited" : " as it was") + '\n';
    }
    return out;
}

// Three entries; in release 2 the first two are edited, and the second is compressed at
// another level than the publisher's, so its bytes cannot be made again from its contents.
QByteArray smallPair(int release, bool foreignDeflate) {
    ZipWriter zip;
    for (const auto& [name, lines] : {std::pair{"a.exe", 20000}, std::pair{"b.dll", 12000}}) {
        ZipEntry e;
        e.name = name;
        e.data = text(release, lines);
        e.compressed = release == 2 && foreignDeflate && e.name == "b.dll"
                           ? rawDeflate(e.data, 6)  // zlib's: other bytes than the publisher's
                           : *deflateWhole(e.data, deflateWholeBound(e.data.size()));
        zip.entries.push_back(e);
    }
    ZipEntry same;
    same.name = "c.sql";
    same.data = noise(5, 200000);
    zip.entries.push_back(same);
    zip.comment = kDerivedHeadersComment;
    return zip.build();
}

qint64 compressedOf(const QByteArray& zip, const char* name) {
    for (const ZipRecord& r : readZipTail(zip, zip.size()).directory.entries) {
        if (r.name == name) {
            return static_cast<qint64>(r.compressedSize);
        }
    }
    return -1;
}

TEST_F(DeltaRebuild, TheChangedEntriesComeFromTheDeltaAndOnlyTheTailIsFetched) {
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    const QByteArray one = releaseArchive(1);
    const QByteArray two = releaseArchive(2);
    const Fetched f = update(one, two);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.bytes, two);
    // Without the delta the changed entries are fetched; with it, the tail and nothing else.
    EXPECT_LE(f.transferred, keptTailLength());
    EXPECT_EQ(f.reused, two.size() - f.transferred);
    // Its changed entries are mostly incompressible noise, carried whole: the delta costs no
    // more than fetching them.
    EXPECT_LT(deltaSize, changedBytes(two) + 512);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(u' ').toStdString();
}

TEST_F(DeltaRebuild, AnEntryThatDoesNotCompressToItsSignedBytesIsFetchedByRange) {
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    const QByteArray one = smallPair(1, false);
    const QByteArray two = smallPair(2, true);
    const Fetched f = update(one, two);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.bytes, two);
    EXPECT_GE(f.transferred, compressedOf(two, "b.dll"));
    EXPECT_LT(f.transferred, compressedOf(two, "b.dll") + compressedOf(two, "a.exe"));
    // The same pair compressed the publisher's way: neither entry is fetched.
    const QByteArray own = smallPair(2, false);
    const Fetched g = update(one, own);
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.bytes, own);
    EXPECT_LT(g.transferred, compressedOf(own, "b.dll"));
    // A few edited lines: the delta is a small share of the entries it rebuilds.
    EXPECT_LT(deltaSize * 20, compressedOf(own, "a.exe") + compressedOf(own, "b.dll"));
}

// A delta is applied only where the signed hash judges the result.
TEST_F(DeltaRebuild, WithoutTheSignedHashTheDeltaIsNotUsed) {
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    const QByteArray one = releaseArchive(1);
    const QByteArray two = releaseArchive(2);
    const Fetched f = update(one, two, false);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.bytes, two);
    EXPECT_GE(f.transferred, changedBytes(two));
}

TEST_F(DeltaRebuild, ADeltaThatIsNotTheIndexedOneIsNeverRead) {
    const QByteArray one = releaseArchive(1);
    const QByteArray two = releaseArchive(2);
    ASSERT_TRUE(deltaFor(one, two));
    const QString path = work.path() + "/d.delta";
    const QByteArray bytes = readBytes(path);
    const auto size = static_cast<std::uint64_t>(bytes.size());
    EXPECT_TRUE(openVerifiedDelta(path, size, sha256(bytes), {}));
    EXPECT_FALSE(openVerifiedDelta(path, size + 1, sha256(bytes), {}));
    EXPECT_FALSE(openVerifiedDelta(path, size, sha256("other"), {}));
    QByteArray changed = bytes;
    changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 1);
    writeBytes(path, changed);
    EXPECT_FALSE(openVerifiedDelta(path, size, sha256(bytes), {}));
    writeBytes(path, bytes.chopped(1));
    EXPECT_FALSE(openVerifiedDelta(path, size, sha256(bytes), {}));
    EXPECT_FALSE(openVerifiedDelta(work.path() + "/missing.delta", size, sha256(bytes), {}));
}

// A resumable download comes whole, a file no larger than its tail in one request, a larger
// one as the tail and one range, and leaves nothing of its record behind.
TEST_F(DeltaRebuild, AResumableDownloadComesWholeInTheFewestRequests) {
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    for (const qsizetype size : {qsizetype{1000}, qsizetype{700000}}) {
        const QByteArray bytes = noise(static_cast<std::uint32_t>(size), size);
        writeBytes(www.path() + "/f.delta", bytes);
        net::WebHTTPGet get;
        get.DownloadDir = downloads() + u'/';
        get.DestinationName = "f.delta";
        get.URL = nginx.url("/f.delta");
        get.AssembleNextFrom(resumableDownload(downloads(), "f.delta"));
        ASSERT_TRUE(get.Process(false, false)) << size;
        EXPECT_EQ(readBytes(path("f.delta")), bytes) << size;
        EXPECT_LT(get.List().AllSize(), size + 4096) << "no byte came twice";
        QFile::remove(path("f.delta"));
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(u' ').toStdString();
    }
    const QStringList requests = nginx.accessLog().split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(requests.size(), 3) << nginx.accessLog().toStdString();
}

}  // namespace
}  // namespace selvanix::test
