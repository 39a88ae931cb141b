#include "Crc32.h"

#include <array>
#include <cstring>

namespace selvanix {

namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

// Slicing-by-8 tables: table s advances a byte through s further zero bytes.
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

std::uint32_t step8(std::uint32_t crc, const unsigned char* p) {
    const std::uint32_t a = load32(p) ^ crc;
    const std::uint32_t b = load32(p + 4);
    return kTables[7][a & 0xFF] ^ kTables[6][(a >> 8) & 0xFF] ^ kTables[5][(a >> 16) & 0xFF] ^
           kTables[4][a >> 24] ^ kTables[3][b & 0xFF] ^ kTables[2][(b >> 8) & 0xFF] ^
           kTables[1][(b >> 16) & 0xFF] ^ kTables[0][b >> 24];
}

// The register after a run of zero bytes is a linear map of the register before it: four
// tables, one per register byte.
class ZeroShift {
public:
    explicit ZeroShift(std::size_t zeros) {
        for (int byte = 0; byte < 4; ++byte) {
            for (std::uint32_t v = 0; v < 256; ++v) {
                std::uint32_t c = v << (8 * byte);
                for (std::size_t i = 0; i < zeros; ++i) {
                    c = kTables[0][c & 0xFF] ^ (c >> 8);
                }
                tables_[byte][v] = c;
            }
        }
    }
    std::uint32_t operator()(std::uint32_t c) const {
        return tables_[0][c & 0xFF] ^ tables_[1][(c >> 8) & 0xFF] ^ tables_[2][(c >> 16) & 0xFF] ^
               tables_[3][c >> 24];
    }

private:
    std::array<std::array<std::uint32_t, 256>, 4> tables_{};
};

// Three lanes of this many bytes run side by side, so the table look-ups of one lane do not
// wait for another's; the lanes are joined by shifting over the bytes that follow them.
constexpr std::size_t kLane = 1024;

}  // namespace

std::uint32_t Crc32::step(std::uint32_t crc, std::uint8_t byte) {
    return kTables[0][(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

void Crc32::update(const void* data, std::size_t size) {
    static const ZeroShift oneLane(kLane);
    static const ZeroShift twoLanes(2 * kLane);
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t crc = state_;
    while (size >= 3 * kLane) {
        std::uint32_t a = crc;
        std::uint32_t b = 0;
        std::uint32_t c = 0;
        for (std::size_t i = 0; i < kLane; i += 8) {
            a = step8(a, p + i);
            b = step8(b, p + kLane + i);
            c = step8(c, p + 2 * kLane + i);
        }
        crc = twoLanes(a) ^ oneLane(b) ^ c;
        p += 3 * kLane;
        size -= 3 * kLane;
    }
    while (size >= 8) {
        crc = step8(crc, p);
        p += 8;
        size -= 8;
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
