// Answers to requests for ranges as servers and caches give them: every shape ends in the
// server's archive byte for byte, or in the full download, never a mix.
#include "DeltaFixture.h"
#include "support/PeakMemory.h"
#include "support/RangeShapes.h"
#include "support/TestCache.h"
#include "support/TestHttpServer.h"
#include "support/TestNginx.h"

namespace selvanix::test {
namespace {

// The ranges of each request after the tail, as the server got them.
QList<QByteArray> rangesAsked(const TestHttpServer& server) {
    QList<QByteArray> out;
    for (const QByteArray& request : server.requests()) {
        const QByteArray range = TestHttpServer::header(request, "Range");
        if (!range.startsWith("bytes=-")) {
            out.append(range);
        }
    }
    return out;
}

void serve(TestHttpServer& server, ServedFile file) {
    server.answer("/" + kName.toUtf8(),
                  [file](const QByteArray& head) { return rangeReply(file, head); });
}

// Whatever shape the answer to several ranges takes, the result is the server's archive byte
// for byte: several ranges a request where the server answers them all, else one a request
// for what is left.
TEST_F(ArchiveDeltaTest, EveryShapeOfAnswerEndsInTheServersArchive) {
    const QByteArray two = releaseArchive(2);
    for (const RangeShape shape :
         {RangeShape::Multipart, RangeShape::Refused, RangeShape::Whole, RangeShape::FirstOnly,
          RangeShape::Merged, RangeShape::Reordered}) {
        for (const bool keyed : {false, true}) {
            SCOPED_TRACE(testing::Message() << shapeName(shape) << (keyed ? ", keyed" : ""));
            installed(releaseArchive(1));
            TestHttpServer server;
            serve(server, {two, "\"served\"", shape});
            const Fetched f = fetch(server.url(u'/' + kName), keyed ? namesOnly(two) : nullptr);
            ASSERT_TRUE(f.ok);
            EXPECT_EQ(f.bytes, two);
            EXPECT_GT(f.reused, two.size() / 2);
            // Merged parts bring the bytes between the ranges too, no more than the file.
            const qint64 needed = shape == RangeShape::Merged ? two.size() : two.size() - f.reused;
            EXPECT_LT(f.transferred, needed + 65536);
            const QList<QByteArray> asked = rangesAsked(server);
            ASSERT_FALSE(asked.isEmpty());
            EXPECT_TRUE(asked.front().contains(',')) << "several ranges first";
            const bool answeredAll = shape == RangeShape::Multipart ||
                                     shape == RangeShape::Merged || shape == RangeShape::Reordered;
            for (const QByteArray& later : asked.mid(1)) {
                EXPECT_EQ(later.contains(','), answeredAll) << later.toStdString();
                EXPECT_NE(later, "bytes=0-") << "never the whole file";
            }
            EXPECT_TRUE(leftovers().isEmpty());
        }
    }
}

// Small changes spread over many entries: one range a request would cost about what they
// save, so a server that refuses several ranges gets the full download instead.
TEST_F(ArchiveDeltaTest, SingleRangesAreTakenOnlyWhileTheyStillSaveATenth) {
    const auto release = [](int n) {
        ZipWriter zip;
        for (int i = 0; i < 300; ++i) {
            const auto seed = static_cast<std::uint32_t>(i + (n == 2 && i % 2 == 0 ? 1000 : 0));
            ZipEntry e;
            e.name = "f/" + QByteArray::number(i) + ".dll";
            e.data = noise(seed, 1000);
            zip.entries.push_back(e);
        }
        return zip.build();
    };
    const QByteArray two = release(2);
    for (const RangeShape shape : {RangeShape::Multipart, RangeShape::Refused}) {
        SCOPED_TRACE(shapeName(shape));
        installed(release(1));
        TestHttpServer server;
        serve(server, {two, "\"served\"", shape});
        const Fetched f = fetch(server.url(u'/' + kName), namesOnly(two), 0);
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.bytes, two);
        const QList<QByteArray> asked = rangesAsked(server);
        if (shape == RangeShape::Multipart) {
            EXPECT_GT(f.reused, two.size() / 3);
            continue;
        }
        EXPECT_EQ(f.reused, 0);
        ASSERT_EQ(asked.size(), 2) << "several ranges, then the whole file";
        EXPECT_EQ(asked.back(), "bytes=0-");
        EXPECT_TRUE(leftovers().isEmpty());
    }
}

// Two million one-byte parts nobody asked for before the honest ones: the answer is refused
// at its first foreign part, the ranges come one a request, in bounded memory.
TEST_F(ArchiveDeltaTest, AFloodOfPartsNobodyAskedForCostsNoMemory) {
    // Room for two million one-byte parts none of which touches another.
    const ReleaseOptions options{true, 40, 0, 5 << 20};
    const QByteArray two = releaseArchive(2, options);
    installed(releaseArchive(1, options));
    TestHttpServer server;
    serve(server, {two, "\"served\"", RangeShape::Flood, 2'000'000});
    const QString url = server.url(u'/' + kName);
    const int status = inChildWithin(64, [&] {
        const Fetched f = fetch(url, namesOnly(two));
        return f.ok && f.bytes == two && f.reused > two.size() / 2;
    });
    EXPECT_EQ(status, 0) << "1: not the server's archive or nothing reused, 2: memory grew";
    EXPECT_TRUE(leftovers().isEmpty());
}

// Real caches in front of nginx, as a client meets them: first cold (the tail the cache's
// first sight of the file), then warm (after one plain download through it). Whatever each
// answers to several ranges, the update is the server's archive and reuses the kept one.
TEST_F(ArchiveDeltaTest, EveryRealCacheInFrontOfNginxGivesTheArchiveWithReuse) {
    const QByteArray two = releaseArchive(2);
    QTemporaryDir www;
    writeBytes(www.path() + u'/' + kName, two);
    // A lifetime, so the caches keep the file, as a publisher's server would give one.
    const TestNginx nginx(www.path(), {}, {}, QStringLiteral("expires 1h;"));
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    for (const CacheKind kind :
         {CacheKind::Squid, CacheKind::Varnish, CacheKind::TrafficServer, CacheKind::Apache}) {
        const TestCache cache(kind, nginx.port());
        ASSERT_TRUE(cache.ok()) << cache.error().toStdString();
        const QString url = cache.url(u'/' + kName);
        for (const bool warm : {false, true}) {
            SCOPED_TRACE(testing::Message() << cacheName(kind) << (warm ? ", warm" : ", cold"));
            installed(releaseArchive(1));
            const Fetched f = fetch(url, namesOnly(two));
            ASSERT_TRUE(f.ok);
            EXPECT_EQ(f.bytes, two);
            EXPECT_GT(f.reused, two.size() / 2);
            EXPECT_LT(f.transferred, two.size() - f.reused + 65536);
            EXPECT_TRUE(leftovers().isEmpty());
            if (!warm) {
                QFile::remove(path(QString::fromLatin1(keptArchiveName(kName))));
                const Fetched plain = fetch(url);
                ASSERT_TRUE(plain.ok);
                ASSERT_EQ(plain.bytes, two);
            }
        }
    }
}

}  // namespace
}  // namespace selvanix::test
