// The transfer engine against a scripted server on loopback: what goes over the wire, how
// replies are judged, how failures are recorded, and how notifications reach this thread.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <thread>

#include "NetTesting.h"
#include "net/InternetErrors.h"
#include "net/Tick.h"
#include "support/TestHttpServer.h"
#include "support/TestNginx.h"

namespace selvanix::test {
namespace {

using namespace net;

TEST(Engine, FreshGetCarriesTheFixedRequestHeaders) {
    TestHttpServer server;
    server.route("/pkg/brodelik.ini", httpReply(200, "[DEFINICE]\r\n"));
    qputenv("http_proxy", "http://127.0.0.1:1");  // would fail if the proxy were used
    RecordingList r;
    DownloadItem& item = r.run(server.url("/pkg/brodelik.ini?v=2#top"));
    qunsetenv("http_proxy");

    EXPECT_EQ(item.State(), DS_PROCESSED);
    EXPECT_EQ(item.Error(), 0);
    EXPECT_EQ(item.Data(), QByteArray("[DEFINICE]\r\n"));
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray request = server.requests().front();
    EXPECT_EQ(TestHttpServer::requestLine(request), "GET /pkg/brodelik.ini?v=2 HTTP/1.1");
    EXPECT_EQ(TestHttpServer::header(request, "User-Agent"),
              "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)");
    EXPECT_EQ(TestHttpServer::header(request, "Referer"), "/pkg/brodelik.ini");
    EXPECT_EQ(TestHttpServer::header(request, "Range"), "bytes=0-");
    EXPECT_EQ(TestHttpServer::header(request, "Connection"), "Keep-Alive");
    EXPECT_EQ(TestHttpServer::header(request, "Host"),
              "127.0.0.1:" + QByteArray::number(server.port()));
}

TEST(Engine, RangeHeaderTakesItsThreeForms) {
    TestHttpServer server;
    server.route("/f", httpReply(206, "x", {"Content-Range: bytes 999-999/1000"}));
    RecordingList r;
    r.run(server.url("/f"), 999, 0);
    server.route("/f",
                 httpReply(206, "x", {"Content-Range: bytes 5000000000-5000000099/6000000000"}));
    r.run(server.url("/f"), 5000000000LL, 5000000099LL);
    server.route("/f", httpReply(206, "x", {"Content-Range: bytes 900-999/1000"}));
    r.run(server.url("/f"), 0, -100);
    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(TestHttpServer::header(requests[0], "Range"), "bytes=999-");
    EXPECT_EQ(TestHttpServer::header(requests[1], "Range"), "bytes=5000000000-5000000099");
    EXPECT_EQ(TestHttpServer::header(requests[2], "Range"), "bytes=-100");
}

TEST(Engine, RefusedStatusesRecordTheHttpText) {
    TestHttpServer server;
    server.route("/404", httpReply(404, "<html>gone</html>", {"Content-Type: text/html"}));
    server.route("/416", httpReply(416, ""));
    TestReply odd;
    odd.raw = "HTTP/1.1 abc Odd\r\nContent-Length: 2\r\n\r\nhi";
    server.route("/odd", odd);
    RecordingList r;
    struct Case {
        const char* path;
        const char* text;
    };
    for (const Case& c : {Case{"/404", "File not found"}, Case{"/416", "HTTP Error: 416"},
                          Case{"/odd", "HTTP Error: 0"}, Case{"/missing", "File not found"}}) {
        SCOPED_TRACE(c.path);
        DownloadItem& item = r.run(server.url(QString::fromLatin1(c.path)));
        EXPECT_EQ(item.State(), DS_ERROR);
        EXPECT_EQ(item.Error(), 2);
        EXPECT_EQ(item.ErrorString(), QString::fromLatin1(c.text));
        EXPECT_EQ(item.Progress(), 100);
        ASSERT_FALSE(r.notes.empty());
        EXPECT_EQ(r.notes.back().state, DS_ERROR);  // the end is still notified
        EXPECT_EQ(r.processedCalls > 0, true);
    }
}

TEST(Engine, AcceptedRepliesAndWhatTheirHeadsSay) {
    TestHttpServer server;
    TestReply noStatus;
    noStatus.raw = "just bytes, no status line";
    server.route("/09", noStatus);
    server.route("/moved", httpReply(302, "", {"Location: /target"}));
    server.route("/target", httpReply(200, "arrived", {"Content-Type:   application/zip  "}));
    server.route("/empty", httpReply(200, ""));
    server.route("/dated1", httpReply(200, "d", {"Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT"}));
    server.route("/dated2", httpReply(200, "d", {"Last-Modified: Sunday, 06-Nov-94 08:49:37 GMT"}));
    server.route("/dated3", httpReply(200, "d", {"Last-Modified: Sun Nov  6 08:49:37 1994"}));
    server.route("/baddate", httpReply(200, "d", {"Last-Modified: Sun, 31 Feb 1994 08:49:37 GMT"}));
    RecordingList r;

    DownloadItem& plain = r.run(server.url("/09"));
    EXPECT_EQ(plain.State(), DS_PROCESSED);
    EXPECT_EQ(plain.Data(), QByteArray("just bytes, no status line"));

    DownloadItem& moved = r.run(server.url("/moved"));
    EXPECT_EQ(moved.State(), DS_PROCESSED);
    EXPECT_EQ(moved.StatusCode(), 200);
    EXPECT_EQ(moved.Data(), QByteArray("arrived"));
    EXPECT_EQ(moved.ActualType(), QStringLiteral("application/zip"));
    EXPECT_EQ(TestHttpServer::requestLine(server.requests().back()), "GET /target HTTP/1.1");

    DownloadItem& empty = r.run(server.url("/empty"));
    EXPECT_EQ(empty.State(), DS_PROCESSED);
    EXPECT_EQ(empty.DataSize(), 0u);
    EXPECT_EQ(empty.Error(), 0);

    // 1994-11-06 08:49:37 in days since 1899-12-30, whatever the form.
    const double expected = 34644 + (8 * 3600 + 49 * 60 + 37) / 86400.0;
    for (const char* path : {"/dated1", "/dated2", "/dated3"}) {
        SCOPED_TRACE(path);
        EXPECT_NEAR(r.run(server.url(QString::fromLatin1(path))).LastModified(), expected, 1e-9);
    }
    EXPECT_EQ(r.run(server.url("/baddate")).LastModified(), 0.0);
}

TEST(Engine, NotificationsComeInOrderAndTheBodyOnesAreThrottled) {
    TestHttpServer server;
    TestReply slow = httpReply(200, QByteArray(64 * 16384, 'b'));
    slow.pieceSize = 16384;
    slow.pieceDelayMs = 20;  // about 1.3 s in all
    server.route("/slow", slow);
    RecordingList r;
    DownloadItem& item = r.run(server.url("/slow"));
    ASSERT_EQ(item.State(), DS_PROCESSED);
    ASSERT_GE(r.notes.size(), 4u);
    EXPECT_FALSE(r.notes[0].header);  // started
    EXPECT_EQ(r.notes[0].dataSize, 0u);
    EXPECT_TRUE(r.notes[1].header);  // head: the announced length
    EXPECT_EQ(r.notes[1].dataSize, 64u * 16384u);
    EXPECT_EQ(r.notes.back().state, DS_PROCESSED);
    EXPECT_EQ(r.notes.back().progress, 100);
    const std::vector<Note> body(r.notes.begin() + 2, r.notes.end() - 1);
    ASSERT_FALSE(body.empty());
    EXPECT_LE(body.size(), 5u);
    for (std::size_t i = 1; i < body.size(); ++i) {
        EXPECT_GT(body[i].tick - body[i - 1].tick, 450);  // measured here, not on the worker
        EXPECT_GE(body[i].progress, body[i - 1].progress);
    }
    EXPECT_EQ(r.processedCalls, 1);
}

TEST(Engine, WithoutContentLengthProgressStaysAtZeroUntilTheEnd) {
    TestHttpServer server;
    TestReply open = httpReply(200, QByteArray(100000, 'n'), {}, false);
    open.pieceSize = 20000;
    open.pieceDelayMs = 10;
    server.route("/open", open);
    RecordingList r;
    DownloadItem& item = r.run(server.url("/open"));
    EXPECT_EQ(item.State(), DS_PROCESSED);
    EXPECT_EQ(item.Data().size(), 100000);
    for (std::size_t i = 0; i + 1 < r.notes.size(); ++i) {
        EXPECT_EQ(r.notes[i].progress, 0);
    }
    EXPECT_EQ(r.notes.back().progress, 100);
}

TEST(Engine, TransportFailuresGetTheInternetCodes) {
    RecordingList r;
    r.list.InternetOptions.StallTimeoutMs = 400;
    r.list.InternetOptions.ConnectTimeout = 5;
    TestHttpServer server;
    TestReply cut = httpReply(200, QByteArray(50000, 'c'));
    cut.cutAfter = 20000;
    server.route("/cut", cut);
    TestReply reset = cut;
    reset.resetAtCut = true;
    server.route("/reset", reset);
    TestReply stall = httpReply(200, QByteArray(50000, 's'));
    stall.stallAfter = 30000;
    server.route("/stall", stall);
    TestReply mute = stall;
    mute.stallAfter = 0;
    server.route("/mute", mute);
    const QString refused = QStringLiteral("http://127.0.0.1:%1/x").arg(freeLoopbackPort());

    struct Case {
        QString url;
        int code;
        const char* text;
    };
    for (const Case& c :
         {Case{server.url("/cut"), 12030, "Connection aborted"},
          Case{server.url("/reset"), 12031, "Connection reset"},
          Case{server.url("/stall"), 12002, "Timeout"}, Case{server.url("/mute"), 12002, "Timeout"},
          Case{refused, 12029, "Cannot connect"},
          Case{QStringLiteral("ftp://127.0.0.1/x"), 12006, "Unrecognized scheme"}}) {
        SCOPED_TRACE(c.url.toStdString());
        QElapsedTimer clock;
        clock.start();
        DownloadItem& item = r.run(c.url);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(item.State(), DS_ERROR);
        EXPECT_EQ(item.Error(), c.code);
        EXPECT_EQ(item.ErrorString(), QString::fromLatin1(c.text));
    }
}

TEST(Engine, NotConnectedMakesNoRequest) {
    // 127.0.0.2 is not one of the local names, so the query is asked for it.
    TestHttpServer server("127.0.0.2");
    server.route("/a", httpReply(200, "ok"));
    RecordingList r;
    {
        const ConnectedAnswer offline(false);
        DownloadItem& item = r.run(server.url("/a"));
        EXPECT_EQ(item.State(), DS_ERROR);
        EXPECT_EQ(item.Error(), 2);
        EXPECT_EQ(item.ErrorString(), QStringLiteral("Not connected"));
        EXPECT_EQ(server.connections(), 0);
        EXPECT_EQ(r.notes.size(), 1u);  // only the end
    }
    EXPECT_EQ(r.run(server.url("/a")).State(), DS_PROCESSED);
    EXPECT_EQ(server.connections(), 1);

    const ConnectedAnswer offline(false);
    TestHttpServer local;
    local.route("/a", httpReply(200, "ok"));
    EXPECT_EQ(r.run(local.url("/a")).State(), DS_PROCESSED);
}

TEST(Engine, TerminateEndsABlockedTransferQuicklyWithoutAFinalNotification) {
    TestHttpServer server;
    TestReply slow = httpReply(200, QByteArray(1000000, 'z'));
    slow.stallAfter = 5000;  // the body stops coming: the transfer blocks in the client
    server.route("/slow", slow);
    RecordingList r;
    r.list.Clear();
    DownloadItem& item = r.list.Add({.url = server.url("/slow")});
    r.list.ThreadProcess();
    pumpUntil([&] { return r.list.AllSize() > 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QElapsedTimer clock;
    clock.start();
    r.list.Terminate();
    r.list.WaitForEnd();
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(item.IsTerminated());
    EXPECT_EQ(item.Error(), ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_EQ(r.list.State(), DS_PROCESSED);
    EXPECT_EQ(r.processedCalls, 1);
    for (const Note& note : r.notes) {
        EXPECT_NE(note.progress, 100);
    }
}

TEST(Engine, APartThatStartsElsewhereFailsTheItem) {
    TestHttpServer server;
    server.route("/part", httpReply(206, "tail", {"Content-Range: bytes 0-3/4"}));
    RecordingList r;
    DownloadItem& item = r.run(server.url("/part"), 999, 0);
    EXPECT_EQ(item.State(), DS_ERROR);
    EXPECT_NE(item.Error(), 0);
}

TEST(Engine, RateCountsOnlyTheCurrentRun) {
    TestHttpServer server;
    server.route("/a", httpReply(200, QByteArray(300000, 'a')));
    server.route("/b", httpReply(200, QByteArray(1000, 'b')));
    RecordingList r;
    r.run(server.url("/a"));
    EXPECT_EQ(r.list.AllSize(), 300000);
    r.run(server.url("/b"));
    EXPECT_EQ(r.list.AllSize(), 1000);
}

TEST(SyncObject, AnExceptionOnTheUserInterfaceThreadIsThrownAgainInTheCaller) {
    SyncObject sync;
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            sync.Synchronize([] { throw std::runtime_error("refused here"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    pumpUntil([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(caught, "refused here");
}

}  // namespace
}  // namespace selvanix::test

namespace selvanix::test {
namespace {

TEST(Engine, AnAbsurdAnnouncedLengthFailsOnlyTheItem) {
    TestHttpServer server;
    TestReply liar;
    liar.raw = "HTTP/1.1 200 OK\r\nContent-Length: 900000000000000000\r\n\r\nshort";
    server.route("/liar", liar);
    RecordingList r;
    net::DownloadItem& item = r.run(server.url("/liar"));
    EXPECT_EQ(item.State(), net::DS_ERROR);
    EXPECT_EQ(item.Error(), 12030);  // nothing reserved for it; the body just ended early
    // Too large for memory, so it went to a file, which went with the failure.
    EXPECT_TRUE(item.Data().isEmpty());
    EXPECT_EQ(item.bodyFile(), nullptr);
}

}  // namespace
}  // namespace selvanix::test
