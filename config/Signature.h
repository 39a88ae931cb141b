#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

struct evp_pkey_st;

namespace selvanix {
namespace platform {
class File;
}

// Ed25519 keys and signatures, and SHA-256, through OpenSSL's libcrypto.
namespace signing {

struct KeyDeleter {
    void operator()(evp_pkey_st* key) const;
};
using KeyHandle = std::unique_ptr<evp_pkey_st, KeyDeleter>;

inline constexpr int kSignatureSize = 64;

class PublicKey {
public:
    // The 32 raw key bytes in base64, as a publisher hands them out; nothing when malformed.
    static std::optional<PublicKey> fromBase64(const QByteArray& text);
    QByteArray base64() const;
    // Whether signature (the 64 raw bytes) was made over message by this key's private key.
    bool verify(const QByteArray& message, const QByteArray& signature) const;

private:
    explicit PublicKey(KeyHandle key) : key_(std::move(key)) {}
    std::shared_ptr<evp_pkey_st> key_;
    friend class PrivateKey;
};

class PrivateKey {
public:
    static std::optional<PrivateKey> generate();
    // A PEM "PRIVATE KEY" holding an Ed25519 key; nothing for anything else.
    static std::optional<PrivateKey> fromPem(const QByteArray& pem);
    QByteArray pem() const;
    PublicKey publicKey() const;
    QByteArray sign(const QByteArray& message) const;  // the 64 raw bytes

private:
    explicit PrivateKey(KeyHandle key) : key_(std::move(key)) {}
    KeyHandle key_;
};

// The signature text of a detached ".sig" file or a descriptor value: base64 of the 64
// bytes, surrounding white space ignored; nothing when it is not exactly that.
std::optional<QByteArray> decodeSignature(const QByteArray& text);

// Whether text is exactly length lowercase hex digits, as hashes and tags are written.
bool isLowerHex(const QByteArray& text, qsizetype length);

// Whether any of the keys made signature over text.
bool anyKeyVerifies(const std::vector<PublicKey>& keys, const QByteArray& text,
                    const QByteArray& signature);

// The lowercase hex SHA-256 of a file's bytes (host path), read in pieces; nothing when it
// cannot be read.
std::optional<QByteArray> sha256OfFile(const QString& hostPath);
// The same for an open file, read at offsets from its start.
std::optional<QByteArray> sha256OfFile(const platform::File& file);

}  // namespace signing
}  // namespace selvanix
