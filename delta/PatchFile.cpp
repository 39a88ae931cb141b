#include "PatchFile.h"

#include "platform/handles/File.h"

#include <QtEndian>
#include <algorithm>

namespace selvanix {

namespace {

constexpr char kMagic[] = "selvanix-delta 1\n";
constexpr qint64 kMagicLength = sizeof kMagic - 1;
// newOffset, oldOffset, method, size, payload length.
constexpr qint64 kRecordHeader = 8 + 8 + 1 + 8 + 8;

void put(QByteArray& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

bool allowed(const PatchRecord& r) {
    switch (r.method) {
        case PatchMethod::Whole:
            return r.payloadLength == r.size;
        case PatchMethod::Zstd:
        case PatchMethod::Bsdiff:
            return r.size <= kMaxPatchedEntry && r.payloadLength <= kMaxPatchBytes;
    }
    return false;
}

}  // namespace

QByteArray PatchFile::write(const std::vector<std::pair<PatchRecord, QByteArray>>& records) {
    QByteArray out(kMagic, kMagicLength);
    put(out, records.size(), 4);
    for (const auto& [record, payload] : records) {
        put(out, record.newOffset, 8);
        put(out, record.oldOffset, 8);
        put(out, static_cast<std::uint8_t>(record.method), 1);
        put(out, record.size, 8);
        put(out, static_cast<std::uint64_t>(payload.size()), 8);
        out += payload;
    }
    return out;
}

std::optional<std::vector<PatchRecord>> PatchFile::read(const platform::File& file) {
    const qint64 size = file.size();
    char head[kMagicLength + 4];
    if (size < static_cast<qint64>(sizeof head) ||
        file.readAt(0, head, sizeof head) != static_cast<qint64>(sizeof head) ||
        QByteArray(head, kMagicLength) != QByteArray(kMagic, kMagicLength)) {
        return std::nullopt;
    }
    const std::uint32_t count = qFromLittleEndian<quint32>(head + kMagicLength);
    if (count > kMaxRecords) {
        return std::nullopt;
    }
    std::vector<PatchRecord> records;
    auto at = static_cast<std::uint64_t>(sizeof head);
    for (std::uint32_t i = 0; i < count; ++i) {
        char fields[kRecordHeader];
        if (static_cast<std::uint64_t>(size) - at < kRecordHeader ||
            file.readAt(static_cast<qint64>(at), fields, kRecordHeader) != kRecordHeader) {
            return std::nullopt;
        }
        PatchRecord r;
        r.newOffset = qFromLittleEndian<quint64>(fields);
        r.oldOffset = qFromLittleEndian<quint64>(fields + 8);
        r.method = static_cast<PatchMethod>(static_cast<unsigned char>(fields[16]));
        r.size = qFromLittleEndian<quint64>(fields + 17);
        r.payloadLength = qFromLittleEndian<quint64>(fields + 25);
        r.payloadAt = at + kRecordHeader;
        if (r.payloadLength > static_cast<std::uint64_t>(size) - r.payloadAt || !allowed(r)) {
            return std::nullopt;
        }
        at = r.payloadAt + r.payloadLength;
        records.push_back(r);
    }
    if (at != static_cast<std::uint64_t>(size)) {
        return std::nullopt;
    }
    return records;
}

}  // namespace selvanix
