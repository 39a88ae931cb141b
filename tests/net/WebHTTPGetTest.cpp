// The download component's save rules, run without the window: which replies become which
// files, where a resumed body lands, and that a failed save leaves nothing new behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include "net/InternetErrors.h"
#include "net/WebHTTPGet.h"
#include "support/FileSizeLimit.h"
#include "support/TestDrives.h"
#include "support/TestHttpServer.h"
#include "support/TestNginx.h"

namespace selvanix::test {
namespace {

using namespace net;

class WebHTTPGetSave : public ::testing::Test {
protected:
    // Fetches path into the temporary folder under name, the way the installer does.
    bool fetch(const QString& path, const QString& name, bool resume = true) {
        get.Resume = resume;
        get.DownloadDir = dir.path() + u'/';
        get.URL = server.url(path);
        get.DestinationName = name;
        return get.Process(false, false);
    }
    QString file(const QString& name) const { return dir.path() + u'/' + name; }
    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    TestHttpServer server;
    WebHTTPGet get;
};

TEST_F(WebHTTPGetSave, OnlyACompleteNonEmptyBodyIsSaved) {
    server.route("/brodelik.ini", httpReply(200, "[DEFINICE]\r\nverze=14,20\r\n"));
    server.route("/open.zip", httpReply(200, "PK body", {}, false));
    server.route("/empty.ini", httpReply(200, ""));
    TestReply cut = httpReply(200, QByteArray(40000, 'c'));
    cut.cutAfter = 10000;
    server.route("/cut.zip", cut);

    EXPECT_TRUE(fetch("/brodelik.ini", "brodelik.ini"));
    EXPECT_EQ(readBytes(file("brodelik.ini")), QByteArray("[DEFINICE]\r\nverze=14,20\r\n"));
    EXPECT_TRUE(fetch("/open.zip", "open.zip"));
    EXPECT_EQ(readBytes(file("open.zip")), QByteArray("PK body"));
    EXPECT_EQ(get.Data(), QByteArray("PK body"));  // the body stays with the component

    EXPECT_FALSE(fetch("/missing.ini", "missing.ini"));
    EXPECT_EQ(get.GetErrorString(), QStringLiteral("File not found"));
    fetch("/empty.ini", "empty.ini");
    EXPECT_FALSE(fetch("/cut.zip", "cut.zip"));
    EXPECT_EQ(files(), QStringList({"brodelik.ini", "open.zip"}));
}

TEST_F(WebHTTPGetSave, AnHtmlPageIsSavedBesideTheName) {
    server.route("/brodelik.ini",
                 httpReply(200, "<html>portal</html>", {"Content-Type: text/html; charset=utf-8"}));
    server.route("/page.html", httpReply(200, "<html/>", {"Content-Type: text/html"}));
    fetch("/brodelik.ini", "brodelik.ini");
    fetch("/page.html", "page.html");
    EXPECT_EQ(files(), QStringList({"brodelik.ini.htm", "page.html"}));
    EXPECT_EQ(readBytes(file("brodelik.ini.htm")), QByteArray("<html>portal</html>"));
}

TEST_F(WebHTTPGetSave, FoldersAreMadeAndTheFileTakesTheServersDate) {
    server.route("/a.zip", httpReply(200, "zip", {"Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT"}));
    get.DownloadDir = dir.path() + QStringLiteral("/new/deeper\\");
    get.URL = server.url("/a.zip");
    get.DestinationName = QStringLiteral("a.zip");
    get.Process(false, false);
    const QFileInfo saved(dir.path() + QStringLiteral("/new/deeper/a.zip"));
    ASSERT_TRUE(saved.isFile());
    EXPECT_EQ(saved.lastModified().toUTC(),
              QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC));
}

TEST_F(WebHTTPGetSave, AResumedBodyContinuesThePartialFile) {
    const QByteArray whole = QByteArray(1000, 'h') + QByteArray(500, 't');
    writeBytes(file("p.zip"), whole.left(1000));
    server.route("/p.zip", httpReply(206, whole.mid(999), {"Content-Range: bytes 999-1499/1500"}));
    EXPECT_TRUE(fetch("/p.zip", "p.zip"));
    EXPECT_EQ(TestHttpServer::header(server.requests().back(), "Range"), "bytes=999-");
    EXPECT_EQ(readBytes(file("p.zip")), whole);
}

TEST_F(WebHTTPGetSave, AFreshDownloadTakesAPartFromTheStartAsTheWholeFile) {
    server.route("/f.zip", httpReply(206, "whole", {"Content-Range: bytes 0-4/5"}));
    EXPECT_TRUE(fetch("/f.zip", "f.zip"));
    EXPECT_EQ(TestHttpServer::header(server.requests().back(), "Range"), "bytes=0-");
    EXPECT_EQ(readBytes(file("f.zip")), QByteArray("whole"));
}

TEST_F(WebHTTPGetSave, AServerThatIgnoresTheRangeReplacesTheFile) {
    writeBytes(file("p.zip"), QByteArray(1000, 'o'));
    server.route("/p.zip", httpReply(200, "complete new file"));
    EXPECT_TRUE(fetch("/p.zip", "p.zip"));
    EXPECT_EQ(TestHttpServer::header(server.requests().back(), "Range"), "bytes=999-");
    EXPECT_EQ(readBytes(file("p.zip")), QByteArray("complete new file"));
}

TEST_F(WebHTTPGetSave, APartForAnotherPlaceLeavesTheFileAlone) {
    writeBytes(file("p.zip"), QByteArray(1000, 'o'));
    server.route("/p.zip", httpReply(206, "xyz", {"Content-Range: bytes 0-2/3"}));
    EXPECT_FALSE(fetch("/p.zip", "p.zip"));
    EXPECT_EQ(readBytes(file("p.zip")), QByteArray(1000, 'o'));
}

TEST_F(WebHTTPGetSave, AFailedSaveLeavesNoNewOrLongerFile) {
    server.route("/big.zip", httpReply(200, QByteArray(300000, 'b')));
    writeBytes(file("old.zip"), QByteArray(1000, 'o'));
    server.route("/old.zip", httpReply(206, QByteArray(300000, 'n'),
                                       {"Content-Range: bytes 999-300998/300999"}));
    const int code = exitCodeUnderFileSizeLimit(100000, [&] {
        const bool fresh = fetch("/big.zip", "big.zip");
        const bool freshTold = !get.Result().saved && get.GetError() == net::ERROR_WRITE_FAULT;
        const bool resumed = fetch("/old.zip", "old.zip");
        const bool resumedTold = !get.Result().saved && get.GetError() == net::ERROR_WRITE_FAULT;
        return (fresh ? 1 : 0) + (resumed ? 2 : 0) + (freshTold && resumedTold ? 4 : 0);
    });
    // The transfers themselves went well, but a body the disk refused fails its item: the
    // caller is told, not left to find the file missing.
    EXPECT_EQ(code, 4);
    EXPECT_EQ(files(), QStringList({"old.zip"}));
    EXPECT_EQ(readBytes(file("old.zip")), QByteArray(1000, 'o'));
}

TEST(WebHTTPGetNginx, AResumedDownloadIsAnsweredWithAPart) {
    QTemporaryDir root;
    QByteArray whole;
    for (int i = 0; i < 50000; ++i) {
        whole += QByteArray::number(i) + ',';
    }
    writeBytes(root.path() + QStringLiteral("/upgrade-brodelik.zip"), whole);
    const TestNginx nginx(root.path());
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();

    QTemporaryDir dir;
    writeBytes(dir.path() + QStringLiteral("/upgrade-brodelik.zip"), whole.left(70000));
    WebHTTPGet get;
    get.Resume = true;
    get.DownloadDir = dir.path() + u'/';
    get.URL = nginx.url(QStringLiteral("/upgrade-brodelik.zip"));
    get.DestinationName = QStringLiteral("upgrade-brodelik.zip");
    EXPECT_TRUE(get.Process(false, false));
    EXPECT_EQ(get.FileDownloader()->StatusCode(), 206);
    EXPECT_EQ(readBytes(dir.path() + QStringLiteral("/upgrade-brodelik.zip")), whole);
    EXPECT_TRUE(nginx.accessLog().contains(
        QStringLiteral("GET /upgrade-brodelik.zip HTTP/1.1 bytes=69999- Mozilla/4.0")))
        << nginx.accessLog().toStdString();
}

}  // namespace
}  // namespace selvanix::test

namespace selvanix::test {
namespace {

TEST(WebHTTPGetNginx, HttpsWorksOnlyWithACertificateThatVerifies) {
    QTemporaryDir root;
    QTemporaryDir keys;
    writeBytes(root.path() + QStringLiteral("/brodelik.ini"), "[DEFINICE]\r\n");
    ASSERT_TRUE(makeSelfSignedCertificate(keys.path()));
    const QString certificate = keys.path() + QStringLiteral("/cert.pem");
    const TestNginx nginx(root.path(), certificate, keys.path() + QStringLiteral("/key.pem"));
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();

    QTemporaryDir dir;
    net::WebHTTPGet get;
    get.DownloadDir = dir.path() + u'/';
    get.URL = nginx.url(QStringLiteral("/brodelik.ini"));
    get.DestinationName = QStringLiteral("brodelik.ini");
    // The system's store does not know a self-signed certificate.
    EXPECT_FALSE(get.Process(false, false));
    EXPECT_EQ(get.GetError(), 12045);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/brodelik.ini")));

    get.InternetOptions().CaFile = certificate;
    EXPECT_TRUE(get.Process(false, false));
    EXPECT_EQ(readBytes(dir.path() + QStringLiteral("/brodelik.ini")),
              QByteArray("[DEFINICE]\r\n"));
}

// A reply over https never leads on to plain http: the redirect is refused, nothing is
// asked of the http server and nothing is saved.
TEST(WebHTTPGetNginx, HttpsNeverRedirectsToHttp) {
    TestHttpServer plain;
    plain.route("/brodelik.ini", httpReply(200, "[DEFINICE]\r\nnazev=podvrh\r\n"));
    QTemporaryDir root;
    QTemporaryDir keys;
    writeBytes(root.path() + QStringLiteral("/brodelik.ini"), "[DEFINICE]\r\n");
    ASSERT_TRUE(makeSelfSignedCertificate(keys.path()));
    const QString certificate = keys.path() + QStringLiteral("/cert.pem");
    const TestNginx nginx(root.path(), certificate, keys.path() + QStringLiteral("/key.pem"),
                          QStringLiteral("location = /moved.ini { return 302 %1; }\n"
                                         "location = /secure.ini { return 302 /brodelik.ini; }")
                              .arg(plain.url(QStringLiteral("/brodelik.ini"))));
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();

    QTemporaryDir dir;
    net::WebHTTPGet get;
    get.InternetOptions().CaFile = certificate;
    get.DownloadDir = dir.path() + u'/';
    get.DestinationName = QStringLiteral("brodelik.ini");
    get.URL = nginx.url(QStringLiteral("/moved.ini"));
    EXPECT_FALSE(get.Process(false, false));
    EXPECT_NE(get.GetError(), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/brodelik.ini")));
    EXPECT_TRUE(plain.requests().isEmpty());
    // A redirect that stays on https is followed as before.
    get.URL = nginx.url(QStringLiteral("/secure.ini"));
    EXPECT_TRUE(get.Process(false, false));
    EXPECT_EQ(readBytes(dir.path() + QStringLiteral("/brodelik.ini")),
              QByteArray("[DEFINICE]\r\n"));
}

}  // namespace
}  // namespace selvanix::test

namespace selvanix::test {
namespace {

// A server that trickles a byte now and then never holds a download for long: below the low
// speed for its time the transfer gives up, though bytes keep coming within the stall timeout.
TEST(WebHTTPGetLimits, ATrickleBelowTheLowSpeedGivesUp) {
    TestHttpServer server;
    TestReply trickle = httpReply(200, QByteArray(100, 't'));
    trickle.pieceSize = 1;
    trickle.pieceDelayMs = 500;
    server.route("/slow.ini", trickle);
    QTemporaryDir dir;
    net::WebHTTPGet get;
    get.DownloadDir = dir.path() + u'/';
    get.URL = server.url(QStringLiteral("/slow.ini"));
    get.DestinationName = QStringLiteral("slow.ini");
    get.InternetOptions().LowSpeedLimit = 100;
    get.InternetOptions().LowSpeedTimeSecs = 2;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(get.Process(false, false));
    EXPECT_LT(clock.elapsed(), 15000);  // the whole body would take 50 s
    EXPECT_EQ(get.GetError(), net::ERROR_INTERNET_TIMEOUT);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/slow.ini")));
}

}  // namespace
}  // namespace selvanix::test
