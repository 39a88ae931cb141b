#include "ZstdFrames.h"

#include <zstd.h>
#include <algorithm>
#include <bit>

namespace selvanix::zstd {

namespace {

struct CContext {
    CContext() : cctx(ZSTD_createCCtx()) {}
    CContext(const CContext&) = delete;
    CContext& operator=(const CContext&) = delete;
    ~CContext() { ZSTD_freeCCtx(cctx); }
    ZSTD_CCtx* cctx;
};

QByteArray compressWith(ZSTD_CCtx* cctx, std::span<const char> data) {
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, 1);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1);
    QByteArray out(static_cast<qsizetype>(ZSTD_compressBound(data.size())), Qt::Uninitialized);
    const std::size_t n = ZSTD_compress2(cctx, out.data(), static_cast<std::size_t>(out.size()),
                                         data.data(), data.size());
    if (ZSTD_isError(n)) {
        return {};
    }
    out.truncate(static_cast<qsizetype>(n));
    return out;
}

// log2 of the smallest window that holds n bytes, within what zstd allows.
int windowFor(std::uint64_t n) {
    const int log = std::max(10, static_cast<int>(std::bit_width(std::max<std::uint64_t>(n, 1))));
    return std::min(log, ZSTD_cParam_getBounds(ZSTD_c_windowLog).upperBound);
}

}  // namespace

QByteArray compress(std::span<const char> data, int level, int windowLog) {
    const CContext c;
    ZSTD_CCtx_setParameter(c.cctx, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(c.cctx, ZSTD_c_windowLog, windowLog);
    return compressWith(c.cctx, data);
}

QByteArray compressAgainst(std::span<const char> old, std::span<const char> data, int level) {
    const CContext c;
    ZSTD_CCtx_setParameter(c.cctx, ZSTD_c_compressionLevel, level);
    // The window reaches back over all of old, as zstd's own --patch-from sets it.
    ZSTD_CCtx_setParameter(c.cctx, ZSTD_c_windowLog, windowFor(old.size() + data.size()));
    ZSTD_CCtx_setParameter(c.cctx, ZSTD_c_enableLongDistanceMatching, 1);
    if (ZSTD_isError(ZSTD_CCtx_refPrefix(c.cctx, old.data(), old.size()))) {
        return {};
    }
    return compressWith(c.cctx, data);
}

bool decompressAgainst(std::span<const char> old, std::span<const char> frame,
                       std::span<char> out) {
    if (ZSTD_getFrameContentSize(frame.data(), frame.size()) != out.size() ||
        ZSTD_findFrameCompressedSize(frame.data(), frame.size()) != frame.size()) {
        return false;
    }
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    if (dctx == nullptr) {
        return false;
    }
    // Decoded in one pass straight into out: the window is out and old, nothing besides.
    ZSTD_DCtx_setParameter(dctx, ZSTD_d_windowLogMax,
                           ZSTD_dParam_getBounds(ZSTD_d_windowLogMax).upperBound);
    bool ok = !ZSTD_isError(ZSTD_DCtx_refPrefix(dctx, old.data(), old.size()));
    if (ok) {
        const std::size_t n =
            ZSTD_decompressDCtx(dctx, out.data(), out.size(), frame.data(), frame.size());
        ok = !ZSTD_isError(n) && n == out.size();
    }
    ZSTD_freeDCtx(dctx);
    return ok;
}

FrameReader::FrameReader(std::span<const char> frame, int maxWindowLog)
    : frame_(frame), context_(ZSTD_createDCtx(), [](ZSTD_DCtx* d) { ZSTD_freeDCtx(d); }) {
    if (context_) {
        ZSTD_DCtx_setParameter(context_.get(), ZSTD_d_windowLogMax, maxWindowLog);
    }
}

FrameReader::~FrameReader() = default;

std::optional<std::uint64_t> FrameReader::declaredSize() const {
    const unsigned long long size = ZSTD_getFrameContentSize(frame_.data(), frame_.size());
    if (size == ZSTD_CONTENTSIZE_UNKNOWN || size == ZSTD_CONTENTSIZE_ERROR) {
        return std::nullopt;
    }
    return size;
}

bool FrameReader::read(std::span<char> out) {
    if (!context_) {
        return false;
    }
    ZSTD_outBuffer output{out.data(), out.size(), 0};
    while (output.pos < output.size) {
        if (ended_) {
            return false;
        }
        ZSTD_inBuffer input{frame_.data(), frame_.size(), consumed_};
        const std::size_t before = output.pos;
        const std::size_t rc = ZSTD_decompressStream(context_.get(), &output, &input);
        const bool moved = input.pos != consumed_ || output.pos != before;
        consumed_ = input.pos;
        if (ZSTD_isError(rc)) {
            return false;
        }
        ended_ = rc == 0;
        if (!moved && !ended_) {
            return false;  // the frame is cut short
        }
    }
    return true;
}

bool FrameReader::atEnd() {
    if (!ended_ && context_) {
        char probe = 0;
        ZSTD_outBuffer output{&probe, 1, 0};
        ZSTD_inBuffer input{frame_.data(), frame_.size(), consumed_};
        const std::size_t rc = ZSTD_decompressStream(context_.get(), &output, &input);
        consumed_ = input.pos;
        if (ZSTD_isError(rc) || output.pos != 0) {
            return false;
        }
        ended_ = rc == 0;
    }
    return ended_ && consumed_ == frame_.size();
}

}  // namespace selvanix::zstd
