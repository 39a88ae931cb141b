#pragma once

#include <QByteArray>
#include <cstddef>
#include <memory>

namespace selvanix {

// WinZip AES decryption: PBKDF2-HMAC-SHA1 keys, AES in the scheme's counter mode (a 128-bit
// little-endian counter from 1) and the 10-byte HMAC-SHA1 code over the encrypted data.
class AesDecryptor {
public:
    static constexpr int kVerifierLength = 2;
    static constexpr int kCodeLength = 10;
    // 8, 12 or 16 bytes for strengths 1, 2 and 3; 0 for any other strength.
    static int saltLength(int strength);

    AesDecryptor(const QByteArray& password, const QByteArray& salt, int strength);
    ~AesDecryptor();
    AesDecryptor(const AesDecryptor&) = delete;
    AesDecryptor& operator=(const AesDecryptor&) = delete;

    // The password verification value the derived keys call for.
    const QByteArray& verifier() const { return verifier_; }
    bool valid() const { return valid_; }

    void decrypt(unsigned char* data, std::size_t size);
    // Compares the authentication code of all data decrypted so far.
    bool verify(const QByteArray& code);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    QByteArray verifier_;
    bool valid_ = false;
};

}  // namespace selvanix
