#pragma once

#include <cstddef>
#include <cstdint>

namespace selvanix {

// The standard CRC-32 (reflected polynomial EDB88320), through ISA-L's carry-less multiply.
class Crc32 {
public:
    void update(const void* data, std::size_t size);
    std::uint32_t value() const { return crc_; }

    // One table step on a raw register, as the traditional cipher uses it.
    static std::uint32_t step(std::uint32_t crc, std::uint8_t byte);

private:
    std::uint32_t crc_ = 0;
};

std::uint32_t crc32Of(const void* data, std::size_t size);

}  // namespace selvanix
