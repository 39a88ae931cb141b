#include "Crc32.h"

#include <isa-l/crc.h>

#include <array>

namespace selvanix {

namespace {

// The byte table the traditional cipher's key schedule steps through.
constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        }
        t[i] = c;
    }
    return t;
}

constexpr std::array<std::uint32_t, 256> kTable = makeTable();

}  // namespace

void Crc32::update(const void* data, std::size_t size) {
    crc_ = crc32_gzip_refl(crc_, static_cast<const unsigned char*>(data), size);
}

std::uint32_t Crc32::step(std::uint32_t crc, std::uint8_t byte) {
    return kTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

std::uint32_t crc32Of(const void* data, std::size_t size) {
    Crc32 crc;
    crc.update(data, size);
    return crc.value();
}

}  // namespace selvanix
