#pragma once

// A file served the way servers and caches answer requests for ranges: one range always as a
// 206 with its Content-Range; several ranges in the shape under test.
#include "support/TestHttpServer.h"

#include <QByteArray>

namespace selvanix::test {

enum class RangeShape {
    Multipart,  // as nginx and squid: one part per range
    Refused,    // 416, as varnish
    Whole,      // 200 with the whole file
    FirstOnly,  // a single 206 with the first range alone
    Merged,     // a single 206 from the first range's start to the last one's end
    Reordered,  // multipart, the parts last first
    Flood,      // multipart with many one-byte parts nobody asked for before the honest ones
};

const char* shapeName(RangeShape shape);

struct ServedFile {
    QByteArray bytes;
    QByteArray etag = "\"served\"";
    RangeShape shape = RangeShape::Multipart;
    int floodParts = 0;  // for Flood
};

// The answer to one request head. Without Range, or with an If-Range that is not the ETag, the
// whole file.
TestReply rangeReply(const ServedFile& file, const QByteArray& head);

}  // namespace selvanix::test
