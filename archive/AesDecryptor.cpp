#include "AesDecryptor.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace selvanix {

namespace {

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
struct MacFree {
    void operator()(EVP_MAC* m) const { EVP_MAC_free(m); }
};
struct MacCtxFree {
    void operator()(EVP_MAC_CTX* c) const { EVP_MAC_CTX_free(c); }
};

constexpr std::size_t kBatchBlocks = 256;

}  // namespace

struct AesDecryptor::Impl {
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> cipher{EVP_CIPHER_CTX_new()};
    std::unique_ptr<EVP_MAC, MacFree> mac{EVP_MAC_fetch(nullptr, "HMAC", nullptr)};
    std::unique_ptr<EVP_MAC_CTX, MacCtxFree> macCtx;
    std::array<unsigned char, 16> counter{};  // little-endian block number
    std::array<unsigned char, 16 * kBatchBlocks> keystream{};
    std::size_t used = keystream.size();  // bytes of keystream already spent

    void refill() {
        std::array<unsigned char, 16 * kBatchBlocks> blocks{};
        for (std::size_t b = 0; b < kBatchBlocks; ++b) {
            for (unsigned char& byte : counter) {
                if (++byte != 0) {
                    break;
                }
            }
            std::memcpy(blocks.data() + 16 * b, counter.data(), 16);
        }
        int out = 0;
        EVP_EncryptUpdate(cipher.get(), keystream.data(), &out, blocks.data(),
                          static_cast<int>(blocks.size()));
        used = 0;
    }
};

int AesDecryptor::saltLength(int strength) {
    switch (strength) {
        case 1:
            return 8;
        case 2:
            return 12;
        case 3:
            return 16;
        default:
            return 0;
    }
}

AesDecryptor::AesDecryptor(const QByteArray& password, const QByteArray& salt, int strength)
    : impl_(std::make_unique<Impl>()) {
    const int keyLength = saltLength(strength) * 2;
    if (keyLength == 0 || salt.size() != saltLength(strength) || !impl_->cipher || !impl_->mac) {
        return;
    }
    std::array<unsigned char, 66> derived{};
    const int derivedLength = 2 * keyLength + kVerifierLength;
    if (PKCS5_PBKDF2_HMAC_SHA1(password.constData(), static_cast<int>(password.size()),
                               reinterpret_cast<const unsigned char*>(salt.constData()),
                               static_cast<int>(salt.size()), 1000, derivedLength,
                               derived.data()) != 1) {
        return;
    }
    const EVP_CIPHER* cipher = keyLength == 16   ? EVP_aes_128_ecb()
                               : keyLength == 24 ? EVP_aes_192_ecb()
                                                 : EVP_aes_256_ecb();
    if (EVP_EncryptInit_ex(impl_->cipher.get(), cipher, nullptr, derived.data(), nullptr) != 1) {
        return;
    }
    EVP_CIPHER_CTX_set_padding(impl_->cipher.get(), 0);
    impl_->macCtx.reset(EVP_MAC_CTX_new(impl_->mac.get()));
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (!impl_->macCtx || EVP_MAC_init(impl_->macCtx.get(), derived.data() + keyLength,
                                       static_cast<size_t>(keyLength), params) != 1) {
        return;
    }
    verifier_ =
        QByteArray(reinterpret_cast<const char*>(derived.data() + 2 * keyLength), kVerifierLength);
    valid_ = true;
}

AesDecryptor::~AesDecryptor() = default;

void AesDecryptor::decrypt(unsigned char* data, std::size_t size) {
    if (!valid_) {
        return;
    }
    EVP_MAC_update(impl_->macCtx.get(), data, size);
    while (size > 0) {
        if (impl_->used == impl_->keystream.size()) {
            impl_->refill();
        }
        const std::size_t n = std::min(size, impl_->keystream.size() - impl_->used);
        const unsigned char* k = impl_->keystream.data() + impl_->used;
        for (std::size_t i = 0; i < n; ++i) {
            data[i] ^= k[i];
        }
        impl_->used += n;
        data += n;
        size -= n;
    }
}

bool AesDecryptor::verify(const QByteArray& code) {
    if (!valid_ || code.size() != kCodeLength) {
        return false;
    }
    std::array<unsigned char, 64> mac{};
    size_t length = 0;
    if (EVP_MAC_final(impl_->macCtx.get(), mac.data(), &length, mac.size()) != 1 ||
        length < kCodeLength) {
        return false;
    }
    return std::memcmp(mac.data(), code.constData(), kCodeLength) == 0;
}

}  // namespace selvanix
