#include "HttpDate.h"

#include <QDate>
#include <QList>
#include <cmath>

namespace selvanix::net {

namespace {

constexpr qint64 kUnixEpochDay = 25569;  // 1970-01-01 in days since 1899-12-30

int monthNumber(const QByteArray& name) {
    static const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        if (name == names[i]) {
            return i + 1;
        }
    }
    return 0;
}

bool toNumber(const QByteArray& text, int& value) {
    bool ok = false;
    value = text.toInt(&ok);
    return ok && !text.isEmpty() && text.front() != '-' && text.front() != '+';
}

// "hh:mm:ss" as seconds of the day.
bool timeOfDay(const QByteArray& text, int& seconds) {
    const QList<QByteArray> parts = text.split(':');
    int h = 0, m = 0, s = 0;
    if (parts.size() != 3 || !toNumber(parts[0], h) || !toNumber(parts[1], m) ||
        !toNumber(parts[2], s) || h > 23 || m > 59 || s > 60) {
        return false;
    }
    seconds = h * 3600 + m * 60 + s;
    return true;
}

TDateTime compose(int year, int month, int day, int seconds) {
    const QDate date(year, month, day);
    if (month < 1 || month > 12 || !date.isValid()) {
        return 0;
    }
    const qint64 days = date.toJulianDay() - QDate(1899, 12, 30).toJulianDay();
    return static_cast<double>(days) + seconds / 86400.0;
}

}  // namespace

TDateTime parseHttpDate(const QByteArray& text) {
    const QList<QByteArray> words = text.simplified().split(' ');
    int day = 0, year = 0, seconds = 0;
    if (words.size() == 6 && words[0].endsWith(',')) {
        // RFC 1123: Sun, 06 Nov 1994 08:49:37 GMT
        if (toNumber(words[1], day) && toNumber(words[3], year) && timeOfDay(words[4], seconds)) {
            return compose(year, monthNumber(words[2]), day, seconds);
        }
    } else if (words.size() == 4 && words[0].endsWith(',')) {
        // RFC 850: Sunday, 06-Nov-94 08:49:37 GMT
        const QList<QByteArray> parts = words[1].split('-');
        if (parts.size() == 3 && toNumber(parts[0], day) && toNumber(parts[2], year) &&
            timeOfDay(words[2], seconds)) {
            return compose(year < 100 ? year + 1900 : year, monthNumber(parts[1]), day, seconds);
        }
    } else if (words.size() == 5) {
        // asctime: Sun Nov  6 08:49:37 1994
        if (toNumber(words[2], day) && toNumber(words[4], year) && timeOfDay(words[3], seconds)) {
            return compose(year, monthNumber(words[1]), day, seconds);
        }
    }
    return 0;
}

qint64 dateTimeToMsecsSinceEpoch(TDateTime value) {
    return std::llround((value - kUnixEpochDay) * 86400000.0);
}

}  // namespace selvanix::net
