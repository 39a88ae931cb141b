#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace selvanix {

// The traditional PKWARE stream cipher.
class TraditionalCipher {
public:
    explicit TraditionalCipher(const QByteArray& password);
    void decrypt(unsigned char* data, std::size_t size);

private:
    void update(std::uint8_t plain);
    std::uint8_t keystream() const;

    std::uint32_t key0_ = 0x12345678;
    std::uint32_t key1_ = 0x23456789;
    std::uint32_t key2_ = 0x34567890;
};

}  // namespace selvanix
