// When a download's progress is shown and what it says, on a clock the test turns.
#include "cli/DownloadPace.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>

namespace selvanix::test {
namespace {

using cli::DownloadPace;
using Clock = DownloadPace::Clock;
using std::chrono::milliseconds;

// A download of size bytes at rate bytes a second, sampled every step; how many samples were
// shown, and the lines of the shown ones.
struct Shown {
    int count = 0;
    std::vector<QString> lines;
};
Shown download(DownloadPace::Output output, qint64 size, qint64 rate, milliseconds step) {
    const Clock::time_point start{};
    DownloadPace pace(output, start);
    Shown shown;
    for (milliseconds t{0};; t += step) {
        const qint64 received = std::min(size, rate * t.count() / 1000);
        if (pace.due(start + t, received, size)) {
            ++shown.count;
            shown.lines.push_back(cli::downloadLine(pace));
        }
        if (received == size) {
            break;
        }
    }
    return shown;
}

TEST(DownloadPace, EachOutputAtItsOwnPace) {
    ::unsetenv("LC_ALL");
    ::setenv("LANG", "C", 1);
    // 300 MB at 1 MB/s, sampled ten times a second: 300 s.
    const qint64 size = 300'000'000;
    const Shown terminal =
        download(DownloadPace::Output::Terminal, size, 1'000'000, milliseconds(100));
    EXPECT_GE(terminal.count, 300 * 3);
    EXPECT_LE(terminal.count, 300 * 4 + 1);
    EXPECT_EQ(terminal.lines.back().toStdString(), "300 MB of 300 MB, 1.0 MB/s");
    EXPECT_NE(std::find(terminal.lines.begin(), terminal.lines.end(),
                        QStringLiteral("10 MB of 300 MB, 1.0 MB/s, about 5 min left")),
              terminal.lines.end());
    // Into a pipe every ten seconds; the end is the next line's business.
    const Shown lines = download(DownloadPace::Output::Lines, size, 1'000'000, milliseconds(100));
    EXPECT_EQ(lines.count, 29);
    // JSON once a second at most, and a hundred times a download at most, however long.
    EXPECT_LE(download(DownloadPace::Output::Json, size, 1'000'000, milliseconds(100)).count,
              DownloadPace::kMostJsonEvents);
    EXPECT_LE(download(DownloadPace::Output::Json, size, 100'000, milliseconds(1000)).count,
              DownloadPace::kMostJsonEvents);
    EXPECT_EQ(download(DownloadPace::Output::Json, 3'000'000, 1'000'000, milliseconds(100)).count,
              3);
}

TEST(DownloadPace, WhatIsNotKnownYetIsLeftOut) {
    ::unsetenv("LC_ALL");
    ::setenv("LANG", "C", 1);
    const Clock::time_point start{};
    DownloadPace pace(DownloadPace::Output::Terminal, start);
    EXPECT_FALSE(pace.due(start, 0, 0)) << "nothing has come yet";
    EXPECT_TRUE(pace.due(start + milliseconds(300), 812'000, 0));
    EXPECT_EQ(cli::downloadLine(pace).toStdString(), "812 kB") << "no size, no pace yet";
    EXPECT_TRUE(pace.due(start + milliseconds(1300), 1'812'000, 0));
    EXPECT_EQ(cli::downloadLine(pace).toStdString(), "1.8 MB, 1.4 MB/s");
    // A stalled download has no time left to tell.
    DownloadPace stalled(DownloadPace::Output::Terminal, start);
    stalled.due(start, 500, 1000);
    stalled.due(start + milliseconds(2000), 500, 1000);
    EXPECT_FALSE(stalled.secondsLeft());
}

TEST(DownloadPace, CzechUnderACzechLocale) {
    ::setenv("LANG", "cs_CZ.UTF-8", 1);
    const Clock::time_point start{};
    DownloadPace pace(DownloadPace::Output::Terminal, start);
    pace.due(start, 1, 300'000'000);
    pace.due(start + milliseconds(2000), 2'500'000, 300'000'000);
    EXPECT_EQ(cli::downloadLine(pace).toStdString(), "2,5 MB z 300 MB, 1,2 MB/s, zbývá asi 4 min");
    ::setenv("LANG", "C", 1);
}

}  // namespace
}  // namespace selvanix::test
