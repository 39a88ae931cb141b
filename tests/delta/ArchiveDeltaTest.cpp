// Updates assembled from the kept archive and ranges of the new one, against nginx and the
// scripted server on loopback.
#include "DeltaFixture.h"
#include "net/WebHTTPGet.h"
#include "platform/handles/File.h"
#include "support/ReleasePair.h"
#include "support/TestDrives.h"
#include "support/TestHttpServer.h"
#include "support/TestNginx.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

namespace selvanix::test {
namespace {

TEST_F(ArchiveDeltaTest, ARebuiltReleaseIsAssembledByteForByteFromFewRanges) {
    for (const bool derived : {true, false}) {
        const QByteArray one = releaseArchive(1, {derived});
        const QByteArray two = releaseArchive(2, {derived});
        QTemporaryDir www;
        writeBytes(www.path() + u'/' + kName, two);
        const TestNginx nginx(www.path());
        ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
        for (const bool keyed : {false, true}) {
            SCOPED_TRACE(testing::Message() << "derived " << derived << ", keyed " << keyed);
            installed(one);
            const Fetched f = fetch(nginx.url(u'/' + kName), keyed ? namesOnly(two) : nullptr);
            ASSERT_TRUE(f.ok);
            EXPECT_EQ(f.bytes, two);
            EXPECT_GT(f.reused, two.size() / 2);
            // What changed, the tail and some headers; nothing else.
            const qint64 tail = keptTailLength();
            EXPECT_GE(f.transferred, changedBytes(two));
            EXPECT_LT(f.transferred, changedBytes(two) + tail + 16384);
            EXPECT_GE(f.transferred, two.size() - f.reused) << "every byte not reused came";
            EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(u' ').toStdString();
        }
        const QString log = nginx.accessLog();
        EXPECT_TRUE(log.contains(QStringLiteral("bytes=-"))) << log.toStdString();
        EXPECT_TRUE(log.contains(QRegularExpression(QStringLiteral("bytes=[0-9-]+,[0-9]+-"))))
            << "ranges go in few requests\n"
            << log.toStdString();
    }
}

TEST_F(ArchiveDeltaTest, AServerThatIgnoresRangesGivesTheWholeFileForNoMoreBytes) {
    const QByteArray two = releaseArchive(2);
    installed(releaseArchive(1));
    TestHttpServer server;
    server.route("/" + kName.toUtf8(), httpReply(200, two));
    const Fetched f = fetch(server.url(u'/' + kName));
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.bytes, two);
    EXPECT_EQ(f.reused, 0);
    EXPECT_EQ(f.transferred, two.size());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(TestHttpServer::header(server.requests()[0], "Range").startsWith("bytes=-"));
}

// The tail of one file, then the server holds another: its ranges never reach the result.
class ReplacedOnTheServer : public ArchiveDeltaTest {
protected:
    TestReply tailOf(const QByteArray& archive) const {
        const qint64 length = std::min<qint64>(keptTailLength(), archive.size());
        const qint64 from = archive.size() - length;
        return httpReply(206, archive.mid(from),
                         {"ETag: \"first\"", "Content-Range: bytes " + QByteArray::number(from) +
                                                 '-' + QByteArray::number(archive.size() - 1) +
                                                 '/' + QByteArray::number(archive.size())});
    }
};

TEST_F(ReplacedOnTheServer, AnHonestServerAnswersIfRangeWithTheNewFileWhole) {
    const QByteArray two = releaseArchive(2);
    const QByteArray three = releaseArchive(2, {true, 30});
    installed(releaseArchive(1));
    TestHttpServer server;
    const QByteArray route = "/" + kName.toUtf8();
    server.routeInTurn(route, {tailOf(two), httpReply(200, three), httpReply(200, three)});
    const Fetched f = fetch(server.url(u'/' + kName));
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.bytes, three);
    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(TestHttpServer::header(requests[1], "If-Range"), "\"first\"");
    EXPECT_EQ(TestHttpServer::header(requests[2], "Range"), "bytes=0-") << "the whole file";
    EXPECT_TRUE(leftovers().isEmpty());
}

// A tail whose Zip64 locator points at offset 0 of a file claimed 600 MB (or 1 TiB) long: no
// byte before the tail is asked for or held, and the run takes the full download.
TEST_F(ReplacedOnTheServer, ATailPointingBeforeItselfIsDamagedAndTheFileComesWhole) {
    const QByteArray two = releaseArchive(2);
    const auto le = [](std::uint64_t value, int bytes) {
        QByteArray out;
        for (int i = 0; i < bytes; ++i) {
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
        return out;
    };
    for (const qint64 claimed : {qint64(600'000'000), qint64(1) << 40}) {
        installed(releaseArchive(1));
        const QByteArray locator = le(0x07064b50, 4) + le(0, 4) + le(0, 8) + le(1, 4);
        const QByteArray end = le(0x06054b50, 4) + le(0, 2) + le(0, 2) + le(0xFFFF, 2) +
                               le(0xFFFF, 2) + le(0xFFFFFFFF, 4) + le(0xFFFFFFFF, 4) + le(0, 2);
        const QByteArray tail =
            QByteArray(keptTailLength() - locator.size() - end.size(), 'x') + locator + end;
        const qint64 from = claimed - tail.size();
        TestHttpServer server;
        server.routeInTurn(
            "/" + kName.toUtf8(),
            {httpReply(206, tail,
                       {"ETag: \"first\"", "Content-Range: bytes " + QByteArray::number(from) +
                                               '-' + QByteArray::number(claimed - 1) + '/' +
                                               QByteArray::number(claimed)}),
             httpReply(200, two)});
        const Fetched f = fetch(server.url(u'/' + kName), namesOnly(two));
        ASSERT_TRUE(f.ok) << claimed;
        EXPECT_EQ(f.bytes, two);
        const QList<QByteArray> requests = server.requests();
        ASSERT_EQ(requests.size(), 2) << claimed;
        EXPECT_EQ(TestHttpServer::header(requests[1], "Range"), "bytes=0-") << claimed;
        EXPECT_TRUE(leftovers().isEmpty());
    }
}

TEST_F(ReplacedOnTheServer, AServerThatIgnoresIfRangeIsCaughtByTheCheck) {
    const QByteArray two = releaseArchive(2);
    // The same size, one byte of an unchanged entry's data different.
    QByteArray other = two;
    const ZipTail tail = readZipTail(two, two.size());
    ASSERT_EQ(tail.state, ZipTail::State::Read);
    const ZipRecord& unchanged = tail.directory.entries[1];
    other[static_cast<qsizetype>(unchanged.localOffset + 30 + unchanged.name.size() + 10)] ^= 1;
    for (const bool keyed : {false, true}) {
        SCOPED_TRACE(keyed ? "keyed" : "by CRC");
        installed(releaseArchive(1));
        const TestReply first = tailOf(two);
        const qint64 tailFrom = two.size() - (first.raw.size() - first.raw.indexOf("\r\n\r\n") - 4);
        TestHttpServer server;
        server.routeInTurn(
            "/" + kName.toUtf8(),
            {first,
             httpReply(206, other.left(tailFrom),
                       {"Content-Range: bytes 0-" + QByteArray::number(tailFrom - 1) + '/' +
                        QByteArray::number(two.size())}),
             httpReply(200, two)});
        const Fetched f = fetch(server.url(u'/' + kName), keyed ? namesOnly(two) : nullptr);
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.bytes, two);
        EXPECT_EQ(f.reused, 0);
        EXPECT_EQ(TestHttpServer::header(server.requests().last(), "Range"), "bytes=0-");
        EXPECT_TRUE(leftovers().isEmpty());
    }
}

TEST_F(ArchiveDeltaTest, ADamagedKeptCopyFailsItsCheckAndTheWholeFileIsFetched) {
    const QByteArray one = releaseArchive(1);
    const QByteArray two = releaseArchive(2);
    QTemporaryDir www;
    writeBytes(www.path() + u'/' + kName, two);
    const TestNginx nginx(www.path());
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    const ZipRecord reused = readZipTail(one, one.size()).directory.entries[2];
    QByteArray damaged = one;
    damaged[static_cast<qsizetype>(reused.localOffset + 30 + reused.name.size() + 5)] ^= 0x40;
    for (const bool keyed : {false, true}) {
        SCOPED_TRACE(keyed ? "keyed" : "by CRC");
        installed(damaged);
        const Fetched f = fetch(nginx.url(u'/' + kName), keyed ? namesOnly(two) : nullptr);
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.bytes, two);
        EXPECT_EQ(f.reused, 0);
        EXPECT_GE(f.transferred, two.size());
        EXPECT_TRUE(leftovers().isEmpty());
    }
}

TEST_F(ArchiveDeltaTest, AStoppedAssemblyGoesOnFromWhatItHolds) {
    const ReleaseOptions options{true, 40, 2 << 20, 2 << 20};
    const QByteArray two = releaseArchive(2, options);
    QTemporaryDir www;
    writeBytes(www.path() + u'/' + kName, two);
    // Slow enough to stop in the middle of the large entry's range.
    const TestNginx nginx(www.path(), {}, {}, QStringLiteral("limit_rate 4m;"));
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    const QString url = nginx.url(u'/' + kName);

    // An uninterrupted assembly first, to compare with.
    installed(releaseArchive(1, options));
    const Fetched whole = fetch(url);
    ASSERT_TRUE(whole.ok);
    EXPECT_EQ(whole.bytes, two);
    EXPECT_GT(whole.transferred, 2 << 20);
    EXPECT_GT(whole.reused, 0) << whole.transferred << " of " << two.size();

    installed(releaseArchive(1, options));
    stopAfterAMegabyte(url);
    EXPECT_FALSE(QFile::exists(path(kName)));
    EXPECT_EQ(leftovers().size(), 2) << "the assembly and what of it is done";
    const QByteArray state = readBytes(path(QString::fromLatin1(assemblyStateName(kName))));
    EXPECT_TRUE(state.contains("\ndone ")) << state.toStdString();

    const Fetched resumed = fetch(url);
    ASSERT_TRUE(resumed.ok);
    EXPECT_EQ(resumed.bytes, two);
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_LT(resumed.transferred, whole.transferred - (1 << 19));
}

// The assembly is nobody else's to open while it grows, and a second name planted on what a
// stopped run left is never written through.
TEST_F(ArchiveDeltaTest, AnAssemblyIsPrivateAndNeverWrittenThroughASecondName) {
    const ReleaseOptions options{true, 40, 2 << 20, 2 << 20};
    const QByteArray two = releaseArchive(2, options);
    QTemporaryDir www;
    writeBytes(www.path() + u'/' + kName, two);
    const TestNginx nginx(www.path(), {}, {}, QStringLiteral("limit_rate 4m;"));
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    installed(releaseArchive(1, options));
    stopAfterAMegabyte(nginx.url(u'/' + kName));
    const QString assembly = path(QString::fromLatin1(assemblyName(kName)));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(assembly).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    const QString other = path(QStringLiteral("other-users-file"));
    ASSERT_EQ(::link(QFile::encodeName(assembly).constData(), QFile::encodeName(other).constData()),
              0);
    const QByteArray before = readBytes(other);
    const Fetched f = fetch(nginx.url(u'/' + kName));
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.bytes, two);
    EXPECT_EQ(readBytes(other), before) << "a new assembly, not the linked one";
}

TEST_F(ArchiveDeltaTest, AKeptCopyIsUsedOnlyWhenItIsThereAndItsBytesCanBeTrusted) {
    EXPECT_EQ(archiveDelta(downloads(), kName, {}), nullptr) << "nothing kept yet";
    installed(releaseArchive(1));
    const QString kept = path(QString::fromLatin1(keptArchiveName(kName)));
    EXPECT_NE(archiveDelta(downloads(), kName, {}), nullptr);
    // Another user could have written what no hash will check.
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0666), 0);
    EXPECT_EQ(archiveDelta(downloads(), kName, {}), nullptr);
    EXPECT_NE(archiveDelta(downloads(), kName, namesOnly("x")), nullptr);
    if (::geteuid() == 0) {
        // As root the group counts too (a umask of 002 leaves it writable), and so does the
        // folder, where another could put a file of their own at the kept name.
        ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0664), 0);
        EXPECT_EQ(archiveDelta(downloads(), kName, {}), nullptr);
        ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0644), 0);
        EXPECT_NE(archiveDelta(downloads(), kName, {}), nullptr);
        ASSERT_EQ(::chmod(QFile::encodeName(downloads()).constData(), 0775), 0);
        EXPECT_EQ(archiveDelta(downloads(), kName, {}), nullptr);
        EXPECT_NE(archiveDelta(downloads(), kName, namesOnly("x")), nullptr);
        ASSERT_EQ(::chmod(QFile::encodeName(downloads()).constData(), 0700), 0);
    }
    // A link planted at the kept name is never followed.
    QFile::remove(kept);
    writeBytes(path(QStringLiteral("elsewhere.zip")), releaseArchive(1));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("elsewhere.zip")), kept));
    EXPECT_EQ(archiveDelta(downloads(), kName, namesOnly("x")), nullptr);
    // Not an archive: nothing to take from it.
    QFile::remove(kept);
    writeBytes(kept, "not a zip");
    EXPECT_EQ(archiveDelta(downloads(), kName, namesOnly("x")), nullptr);
}

TEST_F(ArchiveDeltaTest, AKeptArchiveIsASecondNameOfTheDownloadedOne) {
    writeBytes(path(kName), releaseArchive(1));
    writeBytes(path(QString::fromLatin1(assemblyName(kName))), "left by a stopped run");
    keepArchive(downloads(), kName);
    struct stat archive {};
    struct stat kept {};
    ASSERT_EQ(::stat(QFile::encodeName(path(kName)).constData(), &archive), 0);
    ASSERT_EQ(
        ::stat(QFile::encodeName(path(QString::fromLatin1(keptArchiveName(kName)))).constData(),
               &kept),
        0);
    EXPECT_EQ(archive.st_ino, kept.st_ino);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST(AssemblyState, WhatWasFetchedIsReadBackOnlyForTheSameFile) {
    AssemblyState state;
    state.size = 1000;
    state.validator = "\"5f2b-3e8\"";
    state.tailSha256 = QByteArray(64, 'a');
    state.done.add(100, 50);
    state.done.add(140, 60);  // overlapping: one interval
    state.done.add(500, 10);
    ASSERT_EQ(state.done.intervals().size(), 2u);
    EXPECT_EQ(state.done.total(), 110);
    const std::vector<net::ByteRange> missing = state.done.missing(0, 600);
    ASSERT_EQ(missing.size(), 3u);
    EXPECT_EQ(missing[1].at, 200);
    EXPECT_EQ(missing[1].length, 300);
    EXPECT_TRUE(state.done.missing(120, 30).empty());

    const std::optional<AssemblyState> back = AssemblyState::fromText(state.toText());
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->sameFile(state));
    EXPECT_EQ(back->done.intervals(), state.done.intervals());
    AssemblyState other = state;
    other.validator = "\"5f2b-3e9\"";
    EXPECT_FALSE(back->sameFile(other));

    QByteArray past = state.toText() + "done 990 1001\n";
    EXPECT_FALSE(AssemblyState::fromText(past).has_value()) << "beyond the file";
    EXPECT_FALSE(AssemblyState::fromText(state.toText().replace("done 500", "done -5")));
    EXPECT_FALSE(AssemblyState::fromText(state.toText().chopped(1))) << "cut short";
    EXPECT_FALSE(AssemblyState::fromText("selvanix-assembly 2\n"));
}

}  // namespace
}  // namespace selvanix::test
