// A command's fetch as the command runs it: the transfer on its own threads, its progress told
// on the command's thread and printed only where a person watches, a stop from another thread.
#include "cli/ConsoleFetcher.h"
#include "cli/ConsoleReport.h"
#include "support/TestHttpServer.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace selvanix::test {
namespace {

constexpr qint64 kSize = 600 * 1024;

class ConsoleFetch : public ::testing::Test {
protected:
    ConsoleFetch() {
        TestReply slow = httpReply(200, QByteArray(kSize, 'p'));
        slow.pieceSize = 32 * 1024;
        slow.pieceDelayMs = 40;
        server.route("/file.bin", slow);
    }
    FetchRequest request() const {
        return {.url = server.url("/file.bin"), .folder = dir.path() + u'/', .name = "file.bin"};
    }

    QTemporaryDir dir;
    TestHttpServer server;
    net::WebHTTPGet get;
    std::atomic<bool> stopped{false};
    cli::ConsoleFetcher fetcher{get, stopped};
};

TEST_F(ConsoleFetch, ProgressComesOnTheCommandsThreadUpToTheWholeFile) {
    std::vector<FetchProgress> told;
    bool elsewhere = false;
    const auto self = std::this_thread::get_id();
    const FetchResult result = fetcher.fetch(request(), [&](const FetchProgress& p) {
        told.push_back(p);
        elsewhere = elsewhere || std::this_thread::get_id() != self;
    });
    ASSERT_TRUE(result.complete) << result.problem.toStdString();
    EXPECT_EQ(result.size, kSize);
    EXPECT_EQ(QFileInfo(dir.path() + "/file.bin").size(), kSize);
    EXPECT_FALSE(elsewhere);
    // The body comes over more than half a second: told on its way, not only at the end.
    ASSERT_GE(told.size(), 3u);
    for (std::size_t i = 1; i < told.size(); ++i) {
        EXPECT_GE(told[i].received, told[i - 1].received) << i;
    }
    EXPECT_LT(told[told.size() / 2].received, kSize);
    EXPECT_EQ(told.back().received, kSize);
    EXPECT_EQ(told.back().total, kSize);
    for (const FetchProgress& p : told) {
        EXPECT_TRUE(p.total == 0 || p.total == kSize) << p.total;
        EXPECT_LE(p.received, kSize);
    }
}

TEST_F(ConsoleFetch, AStopFromAnotherThreadCancelsAndSavesNothing) {
    std::thread stopper;
    bool asked = false;
    const FetchResult result = fetcher.fetch(request(), [&](const FetchProgress& p) {
        if (!asked && p.received > 0) {
            asked = true;
            stopper = std::thread([&] {
                stopped = true;
                fetcher.stop();
            });
        }
    });
    stopper.join();
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.saved);  // a stop that came too late would have let it save
    EXPECT_FALSE(result.problem.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/file.bin"));
}

// What the report writes for a download's progress, on a terminal or not.
QByteArray progressShown(bool terminal, bool json) {
    int master = -1;
    int slave = -1;
    std::FILE* out = nullptr;
    if (terminal) {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            return "no pty";
        }
        out = ::fdopen(slave, "w");
    } else {
        out = std::tmpfile();
    }
    {
        cli::ConsoleReport report(json, out);
        report.downloadStarted("http://host/x.zip", "x.zip");
        report.downloadProgress("x.zip", 0, 0);  // nothing announced yet: nothing to show
        report.downloadProgress("x.zip", 0, 2000);
        report.downloadProgress("x.zip", 1000, 2000);
        report.downloadProgress("x.zip", 1010, 2000);  // the same percent: shown once
        report.downloadProgress("x.zip", 2000, 2000);
        report.event("next", {}, "next step");
    }
    std::fflush(out);
    QByteArray shown;
    char buffer[4096];
    if (terminal) {
        // A terminal hands its output over in pieces: read until the last line has come.
        while (!shown.endsWith("next step\r\n")) {
            pollfd ready{master, POLLIN, 0};
            if (::poll(&ready, 1, 2000) <= 0) {
                break;
            }
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            shown.append(buffer, static_cast<qsizetype>(n));
        }
        ::close(master);
    } else {
        std::rewind(out);
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, out);
        shown = QByteArray(buffer, static_cast<qsizetype>(n));
    }
    std::fclose(out);
    return shown.replace("\r\n", "\n");  // the terminal's own line ends
}

// All at once: a terminal shows the first bytes and the whole, a pipe and JSON wait for time.
TEST(ConsoleReportProgress, ADownloadLineOnATerminalAndNothingInAPipeOrJsonAtOnce) {
    EXPECT_EQ(progressShown(true, false),
              "fetching http://host/x.zip\n\r  1.0 kB of 2.0 kB\r  2.0 kB of 2.0 kB\nnext step\n");
    EXPECT_EQ(progressShown(false, false), "fetching http://host/x.zip\nnext step\n");
    const QByteArray json = progressShown(false, true);
    EXPECT_FALSE(json.contains('%')) << json.toStdString();
    EXPECT_EQ(json.count('\n'), 2) << json.toStdString();
}

}  // namespace
}  // namespace selvanix::test
