#include "Crc32.h"

#include <array>
#include <cstring>

namespace selvanix {

namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 16>;

constexpr Tables makeTables() {
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        }
        t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (size_t s = 1; s < t.size(); ++s) {
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
        }
    }
    return t;
}

constexpr Tables kTables = makeTables();

std::uint32_t load32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);  // little-endian hosts only, as everywhere in the reader
    return v;
}

}  // namespace

std::uint32_t Crc32::step(std::uint32_t crc, std::uint8_t byte) {
    return kTables[0][(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

void Crc32::update(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t crc = state_;
    while (size >= 16) {
        const std::uint32_t a = load32(p) ^ crc;
        const std::uint32_t b = load32(p + 4);
        const std::uint32_t c = load32(p + 8);
        const std::uint32_t d = load32(p + 12);
        crc = kTables[15][a & 0xFF] ^ kTables[14][(a >> 8) & 0xFF] ^ kTables[13][(a >> 16) & 0xFF] ^
              kTables[12][a >> 24] ^ kTables[11][b & 0xFF] ^ kTables[10][(b >> 8) & 0xFF] ^
              kTables[9][(b >> 16) & 0xFF] ^ kTables[8][b >> 24] ^ kTables[7][c & 0xFF] ^
              kTables[6][(c >> 8) & 0xFF] ^ kTables[5][(c >> 16) & 0xFF] ^ kTables[4][c >> 24] ^
              kTables[3][d & 0xFF] ^ kTables[2][(d >> 8) & 0xFF] ^ kTables[1][(d >> 16) & 0xFF] ^
              kTables[0][d >> 24];
        p += 16;
        size -= 16;
    }
    while (size-- > 0) {
        crc = step(crc, *p++);
    }
    state_ = crc;
}

std::uint32_t crc32Of(const void* data, std::size_t size) {
    Crc32 crc;
    crc.update(data, size);
    return crc.value();
}

}  // namespace selvanix
