#pragma once

#include <cstddef>
#include <cstdint>

namespace selvanix {

// The standard CRC-32 (reflected polynomial EDB88320) by our own tables: slicing-by-8 in
// three interleaved lanes.
class Crc32 {
public:
    void update(const void* data, std::size_t size);
    std::uint32_t value() const { return ~state_; }

    // One table step on a raw register, as the traditional cipher uses it.
    static std::uint32_t step(std::uint32_t crc, std::uint8_t byte);

private:
    std::uint32_t state_ = 0xFFFFFFFF;
};

std::uint32_t crc32Of(const void* data, std::size_t size);

}  // namespace selvanix
