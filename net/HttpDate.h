#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace selvanix::net {

// Date-times as the download items hold them: days since 1899-12-30, the time of day as the
// fraction; 0 means none.
using TDateTime = double;

// A Last-Modified value in any of the three HTTP/1.1 forms (RFC 1123, RFC 850 with a
// two-digit year counted from 1900, asctime), taken as it stands with no zone conversion;
// 0 when it cannot be read or a month or day is out of range.
TDateTime parseHttpDate(const QByteArray& text);

// The instant a date-time names when read as UTC, which is what an HTTP date is.
qint64 dateTimeToMsecsSinceEpoch(TDateTime value);

}  // namespace selvanix::net
