// Bodies of any size in bounded memory, what a server may make us store, partial replies
// that are not the part asked for, IPv6 addresses and stops at every point of a transfer.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "NetTesting.h"
#include "net/BodyFile.h"
#include "net/InternetErrors.h"
#include "net/WebHTTPGet.h"
#include "support/PeakMemory.h"
#include "support/TestDrives.h"
#include "support/TestHttpServer.h"

namespace selvanix::test {
namespace {

using namespace net;

const qint64 kLimit = TInternetOptions{}.BodyInMemoryLimit;

QByteArray randomBody(qint64 size, unsigned seed = 3) {
    std::mt19937 random(seed);
    QByteArray body(size, Qt::Uninitialized);
    for (char& c : body) {
        c = static_cast<char>(random() & 0xFF);
    }
    return body;
}

class BoundedBody : public ::testing::Test {
protected:
    bool fetch(const QString& path, const QString& name, bool resume = false) {
        get.Resume = resume;
        get.DownloadDir = dir.path() + u'/';
        get.URL = server.url(path);
        get.DestinationName = name;
        return get.Process(false, false);
    }
    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    TestHttpServer server;
    WebHTTPGet get;
};

TEST_F(BoundedBody, BodiesAroundTheLimitAreSavedWhole) {
    for (const qint64 size : {kLimit, kLimit + 1, 3 * kLimit}) {
        const QByteArray body = randomBody(size);
        server.route("/big.zip", httpReply(200, body));
        ASSERT_TRUE(fetch("/big.zip", "big.zip")) << size;
        EXPECT_EQ(readBytes(dir.path() + "/big.zip"), body) << size;
        EXPECT_EQ(get.DataSize(), static_cast<quint64>(size));
        // Up to the limit the body stays with the component; beyond it, only in its file.
        EXPECT_EQ(get.Data().size(), size <= kLimit ? size : 0) << size;
        EXPECT_EQ(files(), QStringList{"big.zip"}) << size;  // no temporary file is left
    }
}

TEST_F(BoundedBody, AResumedPartBeyondTheLimitLandsAtItsOffset) {
    const QByteArray whole = randomBody(kLimit + 4 * 1024 * 1024, 5);
    writeBytes(dir.path() + "/big.zip", whole.left(1000));
    const QByteArray part = whole.mid(999);
    server.route("/big.zip",
                 httpReply(206, part,
                           {"Content-Range: bytes 999-" + QByteArray::number(whole.size() - 1) +
                            "/" + QByteArray::number(whole.size())}));
    ASSERT_TRUE(fetch("/big.zip", "big.zip", true));
    EXPECT_EQ(TestHttpServer::header(server.requests().back(), "Range"), "bytes=999-");
    EXPECT_EQ(readBytes(dir.path() + "/big.zip"), whole);
    EXPECT_EQ(files(), QStringList{"big.zip"});
}

TEST_F(BoundedBody, AFailedLargeBodyLeavesNothingNewAndTheOldFileAsItWas) {
    writeBytes(dir.path() + "/big.zip", "the old package");
    TestReply cut = httpReply(200, randomBody(2 * kLimit));
    cut.cutAfter = kLimit + 5 * 1024 * 1024;
    server.route("/big.zip", cut);
    EXPECT_FALSE(fetch("/big.zip", "big.zip"));
    EXPECT_EQ(readBytes(dir.path() + "/big.zip"), QByteArray("the old package"));
    EXPECT_EQ(files(), QStringList{"big.zip"});
}

// A body longer than it was announced, or than the owner allows, fails the item.
TEST_F(BoundedBody, NoMoreIsStoredThanAnnouncedOrAllowed) {
    TestReply longer;
    longer.raw = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n" +
                 QByteArray(5000, 'x');
    server.route("/longer", longer);
    RecordingList r;
    DownloadItem& item = r.run(server.url("/longer"));
    // libcurl itself stops at the announced length; either way nothing beyond it is kept.
    EXPECT_LE(item.DataSize(), 10u);

    server.route("/big.zip", httpReply(200, randomBody(kLimit + 100)));
    get.DownloadParams.SizeLimit = kLimit;
    EXPECT_FALSE(fetch("/big.zip", "big.zip"));
    EXPECT_EQ(get.GetError(), 8);
    EXPECT_TRUE(files().isEmpty());
}

// A chunked body that never ends stops before the disk is full, in bounded memory. Run in a
// child so its peak memory is its own.
TEST_F(BoundedBody, AnEndlessBodyStopsAtTheDisksLimitInBoundedMemory) {
    TestReply endless;
    endless.raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    endless.repeatForever = "10000\r\n" + randomBody(0x10000) + "\r\n";
    server.route("/endless", endless);
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(QFile::encodeName(dir.path()).constData(), &fs), 0);
    const qint64 free = static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
    const qint64 allowed = 80 * 1024 * 1024;
    if (free < 2 * allowed) {
        GTEST_SKIP() << "too little free disk";
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        RecordingList r;
        r.list.InternetOptions.KeepFreeOnDisk = free - allowed;
        r.list.Clear();
        DownloadItem& item = r.list.Add({.url = server.url("/endless"), .bodyFolder = dir.path()});
        r.list.ThreadProcess();
        r.list.WaitForEnd();
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        const long grownMiB = (after.ru_maxrss - before.ru_maxrss) / 1024;
        // Tests running beside this one free and fill the same disk, so the free space at the
        // stop is judged from the space now, with the removed body added back.
        struct statvfs end {};
        ::statvfs(QFile::encodeName(dir.path()).constData(), &end);
        const qint64 freeAtStop =
            static_cast<qint64>(end.f_bavail) * static_cast<qint64>(end.f_frsize) -
            static_cast<qint64>(item.DataSize());
        const qint64 slack = 16 << 20;
        const bool stopped = item.State() == DS_ERROR && item.Error() == 8 &&
                             item.DataSize() >= static_cast<quint64>(allowed / 4) &&
                             std::llabs(freeAtStop - (free - allowed)) <= slack && !item.bodyFile();
        if (!stopped) {
            std::fprintf(stderr, "state %d error %d size %llu free at stop %lld file %d\n",
                         int(item.State()), item.Error(),
                         static_cast<unsigned long long>(item.DataSize()),
                         static_cast<long long>(freeAtStop), item.bodyFile() != nullptr);
        }
        ::_exit(!stopped ? 1 : (kPeakMemoryMeaningful && grownMiB > 48) ? 2 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not stopped at the limit, 2: memory grew";
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(BoundedBody, APartialReplyMustBeThePartAskedFor) {
    RecordingList r;
    struct Case {
        QByteArray contentRange;
        qint64 start;
        qint64 end;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"bytes 0-99/1000", 0, 0, false},  // the start of a file is not the whole file
        {"bytes 0-99/100", 0, 0, true},         {"bytes 999-1099/1100", 999, 0, true},
        {"bytes 999-1050/1100", 999, 0, false}, {"bytes 999-1099/*", 999, 0, false},
        {"bytes 5-9/1000", 5, 9, true},  // a closed range ends where we asked
        {"bytes 5-8/1000", 5, 9, false},        {"garbage", 0, 0, false},
    };
    for (const Case& c : cases) {
        const auto range = c.contentRange.mid(6).split('/').first().split('-');
        const qint64 length =
            range.size() == 2 ? range[1].toLongLong() - range[0].toLongLong() + 1 : 4;
        server.route("/part",
                     httpReply(206, QByteArray(length, 'p'), {"Content-Range: " + c.contentRange}));
        DownloadItem& item = r.run(server.url("/part"), c.start, c.end);
        EXPECT_EQ(item.State() == DS_PROCESSED && item.Error() == 0, c.accepted)
            << c.contentRange.toStdString();
        if (!c.accepted) {
            EXPECT_EQ(item.Error(), ERROR_HTTP_INVALID_SERVER_RESPONSE)
                << c.contentRange.toStdString();
        }
    }
}

TEST_F(BoundedBody, ProgressStaysWithinAHundred) {
    // A chunked body longer than the length the server also claimed.
    TestReply liar;
    liar.raw =
        "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n"
        "1000\r\n" +
        QByteArray(0x1000, 'l') + "\r\n0\r\n\r\n";
    server.route("/liar", liar);
    RecordingList r;
    r.run(server.url("/liar"));
    for (const Note& note : r.notes) {
        EXPECT_GE(note.progress, 0);
        EXPECT_LE(note.progress, 100);
    }
}

TEST(BoundedBodyIpv6, AnIpv6LiteralAddressWorks) {
    std::unique_ptr<TestHttpServer> server;
    try {
        server = std::make_unique<TestHttpServer>("::1");
    } catch (const std::exception&) {
        GTEST_SKIP() << "no ::1 on this machine";
    }
    server->route("/brodelik.ini", httpReply(200, "[DEFINICE]\r\n"));
    ASSERT_TRUE(server->url("/x").startsWith("http://[::1]:"));
    QTemporaryDir dir;
    WebHTTPGet get;
    get.DownloadDir = dir.path() + u'/';
    get.URL = server->url("/brodelik.ini");
    get.DestinationName = QStringLiteral("brodelik.ini");
    EXPECT_TRUE(get.Process(false, false)) << get.GetErrorString().toStdString();
    EXPECT_EQ(readBytes(dir.path() + "/brodelik.ini"), QByteArray("[DEFINICE]\r\n"));
    EXPECT_TRUE(TestHttpServer::header(server->requests().value(0), "Host").startsWith("[::1]"));
}

// A stop at any point of a transfer's life ends it: nothing keeps running after Cancel.
TEST(BoundedBodyStops, TerminateAtEveryPointOfATransfer) {
    TestHttpServer server;
    TestReply slow = httpReply(200, randomBody(2 * kLimit));
    slow.delayMs = 150;        // the head comes late ...
    slow.pieceSize = 1 << 20;  // ... and the body in pieces
    slow.pieceDelayMs = 20;
    server.route("/slow", slow);
    QTemporaryDir dir;
    for (const int afterMs : {0, 1, 5, 50, 200, 400}) {
        RecordingList r;
        r.list.Clear();
        DownloadItem& item = r.list.Add({.url = server.url("/slow"), .bodyFolder = dir.path()});
        r.list.ThreadProcess();
        std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
        r.list.Terminate();
        QElapsedTimer clock;
        clock.start();
        r.list.WaitForEnd();
        EXPECT_LT(clock.elapsed(), 1000) << afterMs;
        // Stopped before it was handed out, or stopped in the transfer.
        EXPECT_TRUE(item.State() == DS_NONE || item.IsTerminated()) << afterMs;
        EXPECT_LT(item.DataSize(), static_cast<quint64>(2 * kLimit)) << afterMs;
        EXPECT_EQ(item.bodyFile(), nullptr) << afterMs;
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

}  // namespace
}  // namespace selvanix::test
