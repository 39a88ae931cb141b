#include "TraditionalCipher.h"

#include "Crc32.h"

namespace selvanix {

TraditionalCipher::TraditionalCipher(const QByteArray& password) {
    for (const char c : password) {
        update(static_cast<std::uint8_t>(c));
    }
}

void TraditionalCipher::update(std::uint8_t plain) {
    key0_ = Crc32::step(key0_, plain);
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
    key2_ = Crc32::step(key2_, static_cast<std::uint8_t>(key1_ >> 24));
}

std::uint8_t TraditionalCipher::keystream() const {
    const std::uint32_t t = (key2_ | 2) & 0xFFFF;
    return static_cast<std::uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
}

void TraditionalCipher::decrypt(unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const auto plain = static_cast<std::uint8_t>(data[i] ^ keystream());
        update(plain);
        data[i] = plain;
    }
}

}  // namespace selvanix
