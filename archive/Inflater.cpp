#include "Inflater.h"

#include "platform/Exception.h"

namespace selvanix {

Inflater::Inflater() {
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) {
        throw Exception(QStringLiteral("error"));  // zlib's own text for a failed set-up
    }
}

Inflater::~Inflater() {
    inflateEnd(&stream_);
}

}  // namespace selvanix
