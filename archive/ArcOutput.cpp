#include "ArcOutput.h"

#include <algorithm>

namespace selvanix {

qint64 FileOutput::write(const char* data, qint64 size) {
    // A failed write stores nothing of this piece; the caller decides what follows.
    return file_.write(data, size) ? size : 0;
}

qint64 MemoryOutput::write(const char* data, qint64 size) {
    const qint64 end = position_ + size;
    if (end > bytes_.size()) {
        bytes_.resize(static_cast<qsizetype>(end));
    }
    std::copy(data, data + size, bytes_.data() + position_);
    position_ = end;
    return size;
}

bool MemoryOutput::seek(qint64 position) {
    if (position < 0 || position > bytes_.size()) {
        return false;
    }
    position_ = position;
    return true;
}

}  // namespace selvanix
