// The download window on the offscreen platform: what it shows, that it closes itself, its
// result after Cancel, and that each download starts afresh.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "dlwindow/CopyAnimation.h"
#include "dlwindow/DownloadWindow.h"
#include "dlwindow/InteractiveDownload.h"
#include "net/WebHTTPGet.h"
#include "support/TestDrives.h"
#include "support/TestHttpServer.h"

namespace selvanix::test {
namespace {

using namespace net;
using namespace dlwindow;

// What the window showed, read from the component's handlers, which the window calls
// before it updates itself (progress) and after its final update (end of run).
struct Seen {
    std::vector<int> barBefore;
    std::vector<QString> rateBefore;
    std::vector<QString> sizeBefore;
    QString file, rate, size;
    int bar = -1;
    bool closeEnabled = false, stopEnabled = true, animating = true;
};

class DownloadWindowTest : public ::testing::Test {
protected:
    DownloadWindowTest() {
        QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
        get.DownloadDir = dir.path() + u'/';
        get.Resume = true;
        downloads.OnCustomizeForm = [this](WebHTTPGet&, DownloadWindow& w) { window = &w; };
        get.OnProgress = [this](WebHTTPGet&, DownloadItem&) {
            seen.barBefore.push_back(window->ProgressBar->value());
            seen.rateBefore.push_back(window->CPSLabel->text());
            seen.sizeBefore.push_back(window->SizeLabel->text());
        };
        get.OnProcessed = [this](WebHTTPGet&) {
            seen.file = window->DownloadLabel->text();
            seen.rate = window->CPSLabel->text();
            seen.size = window->SizeLabel->text();
            seen.bar = window->ProgressBar->value();
            seen.closeEnabled = window->CloseBtn->isEnabled();
            seen.stopEnabled = window->StopBtn->isEnabled();
            seen.animating = window->CopyAnimate->active();
        };
    }
    ~DownloadWindowTest() override { QLocale::setDefault(QLocale::c()); }

    bool download(const QString& name) {
        seen = {};
        get.URL = server.url(u'/' + name);
        get.DestinationName = name;
        return downloads.InteractiveProcess(get);
    }

    QTemporaryDir dir;
    TestHttpServer server;
    WebHTTPGet get;
    InteractiveDownload downloads;
    DownloadWindow* window = nullptr;
    Seen seen;
};

TEST_F(DownloadWindowTest, ShowsFileHostRateAndSizeAndClosesItself) {
    TestReply body = httpReply(200, QByteArray(300000, 'b'));
    body.pieceSize = 50000;
    body.pieceDelayMs = 40;
    server.route("/brodelik.ini", body);
    EXPECT_TRUE(download("brodelik.ini"));
    EXPECT_EQ(seen.file, QStringLiteral("brodelik.ini from 127.0.0.1"));
    EXPECT_EQ(seen.size, QStringLiteral("292,97 Kb"));
    EXPECT_TRUE(seen.rate.endsWith(QStringLiteral(" Kb/s")));
    EXPECT_TRUE(seen.rate.contains(u','));
    EXPECT_NE(seen.rate, QStringLiteral("0,00 Kb/s"));
    EXPECT_EQ(seen.bar, 100);
    EXPECT_TRUE(seen.closeEnabled);
    EXPECT_FALSE(seen.stopEnabled);
    EXPECT_FALSE(seen.animating);
    EXPECT_EQ(readBytes(dir.path() + QStringLiteral("/brodelik.ini")).size(), 300000);
}

TEST_F(DownloadWindowTest, AFailedDownloadStillEndsAtFullBarWithOk) {
    EXPECT_TRUE(download("missing.zip"));
    EXPECT_EQ(seen.bar, 100);
    EXPECT_EQ(seen.file, QStringLiteral("missing.zip from 127.0.0.1"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/missing.zip")));
}

TEST_F(DownloadWindowTest, WithoutALengthTheBarWaitsForTheEnd) {
    TestReply open = httpReply(200, QByteArray(200000, 'o'), {}, false);
    open.pieceSize = 40000;
    open.pieceDelayMs = 30;
    server.route("/open.zip", open);
    EXPECT_TRUE(download("open.zip"));
    ASSERT_GE(seen.barBefore.size(), 3u);
    for (const int bar : seen.barBefore) {
        EXPECT_EQ(bar, 0);
    }
    EXPECT_EQ(seen.bar, 100);
}

TEST_F(DownloadWindowTest, CancelEndsTheRunAndReturnsCancel) {
    TestReply slow = httpReply(200, QByteArray(100000, 's'));
    slow.stallAfter = 2000;
    server.route("/upgrade-brodelik.zip", slow);
    bool stillOpen = false;
    bool stopGreyed = false;
    QTimer::singleShot(400, [&] {
        QTest::mouseClick(window->StopBtn, Qt::LeftButton);
        stillOpen = window->isVisible();  // until the stopped run has ended
        stopGreyed = !window->StopBtn->isEnabled();
    });
    EXPECT_FALSE(download("upgrade-brodelik.zip"));
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(stopGreyed);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/upgrade-brodelik.zip")));
}

// The window has no close box; a close request that comes anyway (the window manager, Escape)
// is the user asking to stop, and is taken as Cancel.
TEST_F(DownloadWindowTest, ACloseRequestWhileRunningActsAsCancel) {
    TestReply slow = httpReply(200, QByteArray(100000, 's'));
    slow.stallAfter = 2000;
    server.route("/upgrade-brodelik.zip", slow);
    for (const bool byEscape : {false, true}) {
        bool stillOpen = false;
        bool stopGreyed = false;
        QTimer::singleShot(400, [&] {
            if (byEscape) {
                QTest::keyClick(window, Qt::Key_Escape);
            } else {
                QCloseEvent request;
                QApplication::sendEvent(window, &request);
            }
            stillOpen = window->isVisible();
            stopGreyed = !window->StopBtn->isEnabled();
        });
        const QObject thisRound;  // should the request be ignored, the test still ends
        QTimer::singleShot(3000, &thisRound, [&] {
            if (window->StopBtn->isEnabled()) {
                window->StopBtn->click();
            }
        });
        EXPECT_FALSE(download("upgrade-brodelik.zip")) << byEscape;
        EXPECT_TRUE(stillOpen);
        EXPECT_TRUE(stopGreyed);
    }
}

// No border icons, asked for in the way window managers honour; every fixed text fits its
// label at the specified sizes, and a long file and host are shortened, not cut.
TEST(DownloadWindowLook, NoBorderIconsAndTextsThatFit) {
    DownloadWindow window;
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    for (const Qt::WindowType icon : {Qt::WindowSystemMenuHint, Qt::WindowCloseButtonHint,
                                      Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint}) {
        EXPECT_FALSE(flags & icon) << icon;
    }
    EXPECT_EQ(window.minimumSize(), QSize(361, 168));
    EXPECT_EQ(window.maximumSize(), QSize(361, 168));
    for (const QLabel* label : {window.Label1, window.TransferLabel, window.Label2}) {
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
        EXPECT_LE(label->fontMetrics().height(), label->height());
    }
    EXPECT_EQ(window.Label1->geometry(), QRect(10, 67, 51, 13));
    window.showFile(
        QStringLiteral("http://downloads.selvanix.example.cz:8443/packages/"
                       "upgrade-brodelik-profesional-2024.zip"));
    EXPECT_LE(window.DownloadLabel->fontMetrics().horizontalAdvance(window.DownloadLabel->text()),
              window.DownloadLabel->width());
    EXPECT_TRUE(window.DownloadLabel->text().contains(u'…'));
    EXPECT_EQ(window.DownloadLabel->toolTip(),
              QStringLiteral("upgrade-brodelik-profesional-2024.zip from "
                             "downloads.selvanix.example.cz"));
}

TEST_F(DownloadWindowTest, EachDownloadStartsAtZeroWithItsOwnRate) {
    server.route("/first.zip", httpReply(200, QByteArray(400000, '1')));
    server.route("/second.ini", httpReply(200, QByteArray(2048, '2')));
    ASSERT_TRUE(download("first.zip"));
    EXPECT_EQ(seen.size, QStringLiteral("390,63 Kb"));
    ASSERT_TRUE(download("second.ini"));
    ASSERT_GE(seen.barBefore.size(), 2u);
    EXPECT_EQ(seen.barBefore.front(), 0);
    // After the start notification nothing has arrived in this run yet.
    EXPECT_EQ(seen.rateBefore[1], QStringLiteral("0,00 Kb/s"));
    EXPECT_EQ(seen.sizeBefore[1], QStringLiteral("0,00 Kb"));
    EXPECT_EQ(seen.size, QStringLiteral("2,00 Kb"));
    EXPECT_EQ(seen.file, QStringLiteral("second.ini from 127.0.0.1"));
}

TEST(DownloadWindowForm, ControlsCaptionsAndFrame) {
    DownloadWindow window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Download"));
    EXPECT_EQ(window.size(), QSize(361, 168));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(window.Label1->text(), QStringLiteral("Download:"));
    EXPECT_EQ(window.TransferLabel->text(), QStringLiteral("Transfer rate:"));
    EXPECT_EQ(window.Label2->text(), QStringLiteral("Total size:"));
    EXPECT_EQ(window.CloseBtn->text(), QStringLiteral("&Close"));
    EXPECT_EQ(window.StopBtn->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(window.ProgressBar->geometry(), QRect(9, 86, 345, 11));
    EXPECT_EQ(window.CloseBtn->geometry(), QRect(191, 137, 77, 24));
    EXPECT_EQ(window.StopBtn->geometry(), QRect(275, 137, 80, 24));
    EXPECT_EQ(window.CopyAnimate->geometry(), QRect(9, 8, 346, 56));
    EXPECT_FALSE(window.CopyAnimate->active());
    EXPECT_EQ(window.FormResult, mrOk);
}

TEST(DownloadWindowLimits, ASizeLimitStopsTheItemAndNothingIsSaved) {
    TestHttpServer server;
    server.route("/big.zip", httpReply(200, QByteArray(5000, 'b')));
    QTemporaryDir dir;
    net::WebHTTPGet get;
    InteractiveDownload downloads;
    get.DownloadDir = dir.path() + u'/';
    get.URL = server.url(QStringLiteral("/big.zip"));
    get.DestinationName = QStringLiteral("big.zip");
    get.DownloadParams.SizeLimit = 4000;
    // The limits are checked in the notifications, which a run with the window delivers.
    downloads.InteractiveProcess(get);
    EXPECT_EQ(get.GetError(), 8);
    EXPECT_EQ(get.GetErrorString(), QStringLiteral("Size limit"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/big.zip")));

    get.DownloadParams.SizeLimit = 0;
    get.DownloadParams.CheckOnly = true;  // the head only: nothing to save either
    downloads.InteractiveProcess(get);
    EXPECT_EQ(get.GetError(), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/big.zip")));
}

}  // namespace
}  // namespace selvanix::test
