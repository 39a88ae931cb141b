#include "ArcOutput.h"

#include "platform/FaultPoint.h"

#include <algorithm>

namespace selvanix {

qint64 FileOutput::write(const char* data, qint64 size) {
    // A failed write stores nothing of this piece; the caller decides what follows.
    platform::fileStep();
    if (!file_.write(data, size)) {
        file_.seek(position_);
        return 0;
    }
    position_ += size;
    return size;
}

bool FileOutput::seek(qint64 position) {
    if (!file_.seek(position)) {
        return false;
    }
    position_ = position;
    return true;
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
