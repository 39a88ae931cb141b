#pragma once

#include <zlib.h>

namespace selvanix {

// A raw-deflate zlib stream, released with the object. Raw mode needs no Adler-32 trailer.
class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
};

}  // namespace selvanix
