#pragma once

#include <QString>
#include <chrono>
#include <deque>
#include <optional>

namespace selvanix::cli {

// How far one download has come, at what pace, and when the console shows it: on a terminal
// up to four times a second, into a pipe at most every ten seconds, as JSON at most once a
// second and a hundred times a download.
class DownloadPace {
public:
    using Clock = std::chrono::steady_clock;
    enum class Output { Terminal, Lines, Json };

    DownloadPace(Output output, Clock::time_point start);

    // Takes a sample; whether it is to be shown now.
    bool due(Clock::time_point now, qint64 received, qint64 total);

    qint64 received() const { return received_; }
    qint64 total() const { return total_; }  // 0 or less while unknown
    // Bytes a second over the last few seconds, once a second of them has passed.
    std::optional<qint64> bytesPerSecond() const;
    // At that pace, once both it and the size are known.
    std::optional<qint64> secondsLeft() const;

    static constexpr int kMostJsonEvents = 100;

private:
    struct Sample {
        Clock::time_point at;
        qint64 received;
    };

    Output output_;
    Clock::time_point start_;
    std::optional<Clock::time_point> lastShown_;
    int shown_ = 0;
    int shownPercent_ = -1;
    qint64 received_ = 0;
    qint64 total_ = 0;
    std::deque<Sample> window_;
};

// "12.3 MB of 300 MB, 1.2 MB/s, about 4 min left" in the command line's language; the parts
// not known yet are left out.
QString downloadLine(const DownloadPace& pace);

}  // namespace selvanix::cli
