#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

struct ZSTD_DCtx_s;

namespace selvanix {

// zstd as the patches use it: one frame at a time, with its content size written in it.
namespace zstd {

// window: log2 of the window the frame may use (bounds what a reader must keep).
QByteArray compress(std::span<const char> data, int level, int windowLog);
// The content as a patch of old: old is the frame's prefix (zstd's --patch-from).
QByteArray compressAgainst(std::span<const char> old, std::span<const char> data, int level);
// Decodes a frame of exactly size bytes made against old into out (size bytes); false for any
// other frame.
bool decompressAgainst(std::span<const char> old, std::span<const char> frame, std::span<char> out);

// Reads one frame's content in pieces, keeping at most a window of 2^maxWindowLog bytes.
class FrameReader {
public:
    FrameReader(std::span<const char> frame, int maxWindowLog);
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;
    ~FrameReader();

    // The content its header declares; nothing when it declares none or is no frame.
    std::optional<std::uint64_t> declaredSize() const;
    // Exactly out.size() further bytes of the content; false when the frame has fewer or is
    // damaged.
    bool read(std::span<char> out);
    // Whether the content and the frame ended together with what was read.
    bool atEnd();

private:
    std::span<const char> frame_;
    std::size_t consumed_ = 0;
    std::unique_ptr<ZSTD_DCtx_s, void (*)(ZSTD_DCtx_s*)> context_;
    bool ended_ = false;
};

}  // namespace zstd
}  // namespace selvanix
