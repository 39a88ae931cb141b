#include "Signature.h"

#include <algorithm>
#include <functional>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <QFile>

#include "platform/handles/File.h"

namespace selvanix::signing {

namespace {

struct MdContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextDeleter>;

struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioDeleter>;

constexpr size_t kRawKeySize = 32;

const unsigned char* bytes(const QByteArray& data) {
    return reinterpret_cast<const unsigned char*>(data.constData());
}

}  // namespace

void KeyDeleter::operator()(evp_pkey_st* key) const {
    EVP_PKEY_free(key);
}

std::optional<PublicKey> PublicKey::fromBase64(const QByteArray& text) {
    const auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != static_cast<qsizetype>(kRawKeySize)) {
        return std::nullopt;
    }
    KeyHandle key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes(decoded.decoded),
                                              kRawKeySize));
    if (!key) {
        return std::nullopt;
    }
    return PublicKey(std::move(key));
}

QByteArray PublicKey::base64() const {
    QByteArray raw(static_cast<qsizetype>(kRawKeySize), '\0');
    size_t size = kRawKeySize;
    EVP_PKEY_get_raw_public_key(key_.get(), reinterpret_cast<unsigned char*>(raw.data()), &size);
    return raw.left(static_cast<qsizetype>(size)).toBase64();
}

bool PublicKey::verify(const QByteArray& message, const QByteArray& signature) const {
    if (signature.size() != kSignatureSize) {
        return false;
    }
    const MdContext context(EVP_MD_CTX_new());
    return context &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key_.get()) == 1 &&
           EVP_DigestVerify(context.get(), bytes(signature), static_cast<size_t>(signature.size()),
                            bytes(message), static_cast<size_t>(message.size())) == 1;
}

std::optional<PrivateKey> PrivateKey::generate() {
    EVP_PKEY* raw = nullptr;
    if (EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr)) {
        if (EVP_PKEY_keygen_init(context) != 1 || EVP_PKEY_keygen(context, &raw) != 1) {
            raw = nullptr;
        }
        EVP_PKEY_CTX_free(context);
    }
    if (raw == nullptr) {
        return std::nullopt;
    }
    return PrivateKey(KeyHandle(raw));
}

std::optional<PrivateKey> PrivateKey::fromPem(const QByteArray& pem) {
    const Bio bio(BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())));
    if (!bio) {
        return std::nullopt;
    }
    KeyHandle key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        return std::nullopt;
    }
    return PrivateKey(std::move(key));
}

QByteArray PrivateKey::pem() const {
    const Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key_.get(), nullptr, nullptr, 0, nullptr,
                                         nullptr) != 1) {
        return {};
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

PublicKey PrivateKey::publicKey() const {
    unsigned char raw[kRawKeySize];
    size_t size = kRawKeySize;
    EVP_PKEY_get_raw_public_key(key_.get(), raw, &size);
    return PublicKey(KeyHandle(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, raw, size)));
}

QByteArray PrivateKey::sign(const QByteArray& message) const {
    QByteArray signature(kSignatureSize, '\0');
    size_t size = kSignatureSize;
    const MdContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       bytes(message), static_cast<size_t>(message.size())) != 1) {
        return {};
    }
    return signature;
}

std::optional<QByteArray> decodeSignature(const QByteArray& text) {
    const auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != kSignatureSize) {
        return std::nullopt;
    }
    return decoded.decoded;
}

bool isLowerHex(const QByteArray& text, qsizetype length) {
    return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool anyKeyVerifies(const std::vector<PublicKey>& keys, const QByteArray& text,
                    const QByteArray& signature) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const PublicKey& key) { return key.verify(text, signature); });
}

namespace {

// The hash of what read gives, piece by piece, until it gives nothing (0) or fails (-1).
std::optional<QByteArray> sha256Of(const std::function<qint64(char*, qint64)>& read) {
    const MdContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = read(buffer.data(), buffer.size());
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        EVP_DigestUpdate(context.get(), buffer.constData(), static_cast<size_t>(n));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &size) != 1) {
        return std::nullopt;
    }
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(size)).toHex();
}

}  // namespace

std::optional<QByteArray> sha256OfFile(const QString& hostPath) {
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return sha256Of([&](char* data, qint64 size) { return file.read(data, size); });
}

std::optional<QByteArray> sha256OfFile(const platform::File& file) {
    qint64 at = 0;
    return sha256Of([&](char* data, qint64 size) {
        const qint64 n = file.readAt(at, data, size);
        at += std::max<qint64>(n, 0);
        return n;
    });
}

}  // namespace selvanix::signing
