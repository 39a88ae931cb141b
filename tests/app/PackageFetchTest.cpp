// Fetching a product's descriptor and archive from the download server into the
// installer's folder, each in its own download window.
#include "WindowFixture.h"

#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "dlwindow/DownloadWindow.h"

#include "delta/ArchiveDelta.h"
#include "support/ReleasePair.h"
#include "support/TestHttpServer.h"
#include "support/TestNginx.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace selvanix::test {
namespace {

class PackageFetch : public WindowFixture {
protected:
    std::unique_ptr<TFrDRozbal> window() {
        auto w = open();
        EXPECT_EQ(w->descriptorName(), QStringLiteral("brodelik.ini"));
        EXPECT_EQ(w->archiveName(), QStringLiteral("upgrade-brodelik.zip"));
        w->setServer(server.url(QStringLiteral("/")));
        return w;
    }
    bool present(const QString& name) const { return QFileInfo::exists(ownFolder() + name); }

    TestHttpServer server;
};

TEST_F(PackageFetch, BothFilesArriveInTheInstallersFolder) {
    server.route("/brodelik.ini", httpReply(200, "[DEFINICE]\r\nverze=14,20\r\n"));
    server.route("/upgrade-brodelik.zip", httpReply(200, "PK\x05\x06 archive"));
    auto w = window();
    w->kopirujzWebu();
    EXPECT_TRUE(w->descriptorFetched());
    EXPECT_TRUE(w->archiveFetched());
    EXPECT_TRUE(control<QProgressBar>(*w, "ProgressBar1")->isVisible());
    EXPECT_EQ(readBytes(ownFolder() + QStringLiteral("brodelik.ini")),
              QByteArray("[DEFINICE]\r\nverze=14,20\r\n"));
    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(TestHttpServer::requestLine(requests[0]), "GET /brodelik.ini HTTP/1.1");
    EXPECT_EQ(TestHttpServer::requestLine(requests[1]), "GET /upgrade-brodelik.zip HTTP/1.1");
    for (const QByteArray& request : requests) {
        EXPECT_EQ(TestHttpServer::header(request, "Range"), "bytes=0-");  // old copies went first
    }
}

TEST_F(PackageFetch, AnArchiveMostlyTakenFromTheLastOneSaysSoOnTheRunScreen) {
    QTemporaryDir www;
    const QByteArray two = releaseArchive(2);
    writeBytes(www.path() + QStringLiteral("/brodelik.ini"), "[DEFINICE]\r\nverze=14,21\r\n");
    writeBytes(www.path() + QStringLiteral("/upgrade-brodelik.zip"), two);
    const TestNginx nginx(www.path());
    ASSERT_TRUE(nginx.ok()) << nginx.error().toStdString();
    writeBytes(ownFolder() + QStringLiteral("upgrade-brodelik.zip"), releaseArchive(1));
    keepArchive(ownFolder(), QStringLiteral("upgrade-brodelik.zip"));
    auto w = window();
    QLabel* line = control<QLabel>(*w, "LbStazeno");
    EXPECT_FALSE(line->isVisible());
    w->setServer(nginx.url(QStringLiteral("/")));
    w->kopirujzWebu();
    ASSERT_TRUE(w->archiveFetched());
    EXPECT_EQ(readBytes(ownFolder() + QStringLiteral("upgrade-brodelik.zip")), two);
    EXPECT_FALSE(line->isHidden()) << "shown with its panel";
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral("^Staženo (9[0-9]|1[0-9][0-9]) kB z 432 kB, zbytek z minulé verze\\.$"))
            .match(line->text())
            .hasMatch())
        << line->text().toStdString();
}

TEST_F(PackageFetch, AMissingDescriptorDoesNotStopTheArchive) {
    server.route("/upgrade-brodelik.zip", httpReply(200, "zip"));
    writeBytes(ownFolder() + QStringLiteral("brodelik.ini"), "stale descriptor");
    auto w = window();
    w->kopirujzWebu();
    EXPECT_FALSE(w->descriptorFetched());
    EXPECT_TRUE(w->archiveFetched());
    EXPECT_FALSE(present(QStringLiteral("brodelik.ini")));
}

TEST_F(PackageFetch, CancelInTheFirstWindowGoesOnToTheSecond) {
    TestReply slow = httpReply(200, QByteArray(100000, 'i'));
    slow.stallAfter = 1000;
    server.route("/brodelik.ini", slow);
    server.route("/upgrade-brodelik.zip", httpReply(200, "zip"));
    int windows = 0;
    auto w = window();
    w->downloads().OnCustomizeForm = [&](net::WebHTTPGet&, dlwindow::DownloadWindow& shown) {
        if (++windows == 1) {
            QTimer::singleShot(300, &shown, [&shown] { shown.StopBtn->click(); });
        }
    };
    w->kopirujzWebu();
    EXPECT_EQ(windows, 2);
    EXPECT_FALSE(w->descriptorFetched());
    EXPECT_TRUE(w->archiveFetched());
}

TEST_F(PackageFetch, OldCopiesAreGoneWhenTheServerIsDown) {
    writeBytes(ownFolder() + QStringLiteral("upgrade-brodelik.zip"), "old archive");
    auto w = window();
    w->setServer(QStringLiteral("http://127.0.0.1:%1/").arg(freeLoopbackPort()));
    w->kopirujzWebu();
    EXPECT_FALSE(w->descriptorFetched());
    EXPECT_FALSE(w->archiveFetched());
    EXPECT_FALSE(present(QStringLiteral("upgrade-brodelik.zip")));
}

TEST_F(PackageFetch, APortalPageIsNotTakenForThePackage) {
    for (const QByteArray path : {"/brodelik.ini", "/upgrade-brodelik.zip"}) {
        server.route(path, httpReply(200, "<html>sign in</html>", {"Content-Type: text/html"}));
    }
    auto w = window();
    w->kopirujzWebu();
    EXPECT_FALSE(w->descriptorFetched());
    EXPECT_FALSE(w->archiveFetched());
    EXPECT_TRUE(present(QStringLiteral("brodelik.ini.htm")));
    EXPECT_TRUE(present(QStringLiteral("upgrade-brodelik.zip.htm")));
}

}  // namespace
}  // namespace selvanix::test
