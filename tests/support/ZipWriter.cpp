#include "ZipWriter.h"

#include <zlib.h>
#include <QString>

namespace selvanix::test {

namespace {

void put16(QByteArray& out, std::uint32_t v) {
    out.append(static_cast<char>(v & 0xFF)).append(static_cast<char>((v >> 8) & 0xFF));
}
void put32(QByteArray& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void put64(QByteArray& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}

// The traditional cipher written out again on the encrypting side.
class Encryptor {
public:
    explicit Encryptor(const QByteArray& password) {
        for (const char c : password) {
            update(static_cast<unsigned char>(c));
        }
    }
    QByteArray encrypt(const QByteArray& plain) {
        QByteArray out = plain;
        for (char& c : out) {
            const std::uint32_t t = (k2_ | 2) & 0xFFFF;
            const auto ks = static_cast<unsigned char>((t * (t ^ 1)) >> 8);
            const auto p = static_cast<unsigned char>(c);
            update(p);
            c = static_cast<char>(p ^ ks);
        }
        return out;
    }

private:
    static std::uint32_t crcStep(std::uint32_t crc, unsigned char b) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
        return crc;
    }
    void update(unsigned char p) {
        k0_ = crcStep(k0_, p);
        k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
        k2_ = crcStep(k2_, static_cast<unsigned char>(k1_ >> 24));
    }
    std::uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};

}  // namespace

QByteArray rawDeflate(const QByteArray& data, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(data.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray extraBlock(std::uint16_t id, const QByteArray& data) {
    QByteArray out;
    put16(out, id);
    put16(out, static_cast<std::uint32_t>(data.size()));
    return out + data;
}

QByteArray unicodeNameBlock(const QString& name) {
    QByteArray data;
    put32(data, 0x5843554E);
    put32(data, static_cast<std::uint32_t>(name.size()));
    for (const QChar c : name) {
        put16(data, c.unicode());
    }
    return extraBlock(0x554E, data);
}

QByteArray ZipWriter::build() const {
    QByteArray out = stub;
    const qint64 base = adjustOffsets ? 0 : stub.size();
    QByteArray central;
    for (const ZipEntry& e : entries) {
        const std::uint32_t crc = e.crc.value_or(static_cast<std::uint32_t>(
            ::crc32(0, reinterpret_cast<const Bytef*>(e.data.constData()),
                    static_cast<uInt>(e.data.size()))));
        QByteArray payload = e.compressed.value_or(e.method == 8 ? rawDeflate(e.data) : e.data);
        std::uint16_t flags = e.flags | (e.dataDescriptor ? 0x0008 : 0);
        if (!e.password.isEmpty()) {
            flags |= 0x0001;
            QByteArray header("\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB", 11);
            header.append(static_cast<char>(e.dataDescriptor ? (e.time >> 8) : (crc >> 24)));
            payload = Encryptor(e.password).encrypt(header + payload);
        }
        const std::uint32_t compSize =
            e.storedCompSize.value_or(static_cast<std::uint32_t>(payload.size()));
        out += e.gapBefore;
        const auto offset = static_cast<std::uint64_t>(out.size() - base);
        QByteArray zip64Extra;
        if (e.zip64) {
            QByteArray d;
            put64(d, static_cast<std::uint64_t>(e.data.size()));
            put64(d, compSize);
            put64(d, offset);
            zip64Extra = extraBlock(1, d);
        }
        const auto header = [&](bool centralHeader) {
            QByteArray h;
            put32(h, centralHeader ? 0x02014B50 : 0x04034B50);
            if (centralHeader) {
                put16(h, e.versionMadeBy);
            }
            put16(h, e.versionNeeded);
            put16(h, flags);
            put16(h, e.method);
            put16(h, e.time);
            put16(h, e.date);
            const bool zeroInLocal = e.dataDescriptor && !centralHeader;
            put32(h, zeroInLocal ? 0 : crc);
            put32(h, zeroInLocal ? 0 : (e.zip64 ? 0xFFFFFFFF : compSize));
            put32(h, zeroInLocal
                         ? 0
                         : (e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(e.data.size())));
            put16(h, static_cast<std::uint32_t>(e.name.size()));
            put16(h, static_cast<std::uint32_t>(e.extra.size() + zip64Extra.size()));
            if (centralHeader) {
                put16(h, static_cast<std::uint32_t>(e.comment.size()));
                put16(h, 0);
                put16(h, 0);
                put32(h, e.externalAttr);
                put32(h, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(offset));
            }
            h += e.name + zip64Extra + e.extra;
            if (centralHeader) {
                h += e.comment;
            }
            return h;
        };
        out += header(false);
        out += payload;
        if (e.dataDescriptor) {
            put32(out, 0x08074B50);
            put32(out, crc);
            put32(out, compSize);
            put32(out, static_cast<std::uint32_t>(e.data.size()));
        }
        central += header(true);
    }
    const auto dirOffset = static_cast<std::uint64_t>(out.size() - base);
    out += central;
    const auto count = static_cast<std::uint64_t>(entries.size());
    if (zip64End) {
        const auto endOffset = static_cast<std::uint64_t>(out.size() - base);
        put32(out, 0x06064B50);
        put64(out, 44);
        put16(out, 45);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        put64(out, count);
        put64(out, count);
        put64(out, static_cast<std::uint64_t>(central.size()));
        put64(out, dirOffset);
        put32(out, 0x07064B50);
        put32(out, 0);
        put64(out, endOffset);
        put32(out, 1);
    }
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, zip64End ? 0xFFFF : static_cast<std::uint32_t>(count));
    put16(out, zip64End ? 0xFFFF : static_cast<std::uint32_t>(count));
    put32(out, zip64End ? 0xFFFFFFFF : static_cast<std::uint32_t>(central.size()));
    put32(out, zip64End ? 0xFFFFFFFF : static_cast<std::uint32_t>(dirOffset));
    put16(out, static_cast<std::uint32_t>(comment.size()));
    out += comment;
    return out;
}

}  // namespace selvanix::test
