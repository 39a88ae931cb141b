#include "DownloadPace.h"

#include "Language.h"
#include "engine/RunProgress.h"

#include <QLocale>

namespace selvanix::cli {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr milliseconds kWindow{5000};

milliseconds interval(DownloadPace::Output output) {
    switch (output) {
        case DownloadPace::Output::Terminal:
            return milliseconds(250);
        case DownloadPace::Output::Lines:
            return seconds(10);
        case DownloadPace::Output::Json:
            break;
    }
    return seconds(1);
}

// "812 kB", "12.3 MB", "300 MB", "1.5 GB": decimal units, one decimal below ten.
QString bytesText(qint64 bytes) {
    const QLocale locale(speaksCzech() ? QLocale::Czech : QLocale::English);
    if (bytes < 1000) {
        return QString::number(bytes) + QStringLiteral(" B");
    }
    static constexpr std::pair<double, const char*> kUnits[] = {
        {1e9, "GB"}, {1e6, "MB"}, {1e3, "kB"}};
    for (const auto& [size, unit] : kUnits) {
        if (static_cast<double>(bytes) >= size) {
            const double value = static_cast<double>(bytes) / size;
            return locale.toString(value, 'f', value < 10 ? 1 : 0) + u' ' + QLatin1String(unit);
        }
    }
    return {};
}

// As the window's Czech says it: whole minutes rounded up, hours and minutes beyond an hour.
QString englishTimeLeft(qint64 secondsLeft) {
    if (secondsLeft < 60) {
        return QStringLiteral("about %1 s left").arg(std::max<qint64>(secondsLeft, 1));
    }
    const qint64 minutes = (secondsLeft + 59) / 60;
    if (minutes < 60) {
        return QStringLiteral("about %1 min left").arg(minutes);
    }
    return minutes % 60 == 0
               ? QStringLiteral("about %1 h left").arg(minutes / 60)
               : QStringLiteral("about %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

}  // namespace

DownloadPace::DownloadPace(Output output, Clock::time_point start)
    : output_(output), start_(start) {}

bool DownloadPace::due(Clock::time_point now, qint64 received, qint64 total) {
    received_ = received;
    total_ = total;
    window_.push_back({now, received});
    while (window_.size() > 2 && now - window_[1].at >= kWindow) {
        window_.pop_front();
    }
    if (received <= 0) {
        return false;
    }
    const bool whole = total > 0 && received >= total;
    const Clock::time_point since = lastShown_.value_or(start_);
    bool show = false;
    switch (output_) {
        case Output::Terminal:
            show = !lastShown_ || whole || now - since >= interval(output_);
            break;
        case Output::Lines:
            show = !whole && now - since >= interval(output_);
            break;
        case Output::Json: {
            // A known size also bounds the count: a whole percent further each time.
            const int percent =
                total > 0 ? static_cast<int>(std::min(received, total) * 100 / total) : -1;
            show = shown_ < kMostJsonEvents && now - since >= interval(output_) &&
                   (total <= 0 || percent > shownPercent_);
            if (show) {
                shownPercent_ = percent;
            }
            break;
        }
    }
    if (show) {
        lastShown_ = now;
        ++shown_;
    }
    return show;
}

std::optional<qint64> DownloadPace::bytesPerSecond() const {
    if (window_.size() < 2) {
        return std::nullopt;
    }
    const auto span = std::chrono::duration<double>(window_.back().at - window_.front().at);
    if (span < seconds(1)) {
        return std::nullopt;
    }
    return static_cast<qint64>(
        static_cast<double>(window_.back().received - window_.front().received) / span.count());
}

std::optional<qint64> DownloadPace::secondsLeft() const {
    const std::optional<qint64> rate = bytesPerSecond();
    if (!rate || *rate <= 0 || total_ <= 0 || received_ >= total_) {
        return std::nullopt;
    }
    return (std::max<qint64>(total_ - received_, 0) + *rate - 1) / *rate;
}

QString downloadLine(const DownloadPace& pace) {
    QString line =
        pace.total() > 0
            ? say(u"%1 of %2", u"%1 z %2").arg(bytesText(pace.received()), bytesText(pace.total()))
            : bytesText(pace.received());
    if (const std::optional<qint64> rate = pace.bytesPerSecond()) {
        line += QStringLiteral(", ") + bytesText(*rate) + QStringLiteral("/s");
    }
    if (const std::optional<qint64> left = pace.secondsLeft()) {
        line += QStringLiteral(", ") +
                (speaksCzech() ? timeLeftText(static_cast<int>(std::min<qint64>(*left, 1 << 30)))
                               : englishTimeLeft(*left));
    }
    return line;
}

}  // namespace selvanix::cli
