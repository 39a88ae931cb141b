#include "ZipDirectory.h"

#include "ZipRecords.h"
#include "platform/handles/File.h"

#include <algorithm>

namespace selvanix {

namespace {

// A directory larger than this is not read into memory: 65,535 entries with long names stay
// well below, and a hostile server's directory cannot make the records outgrow it many times.
constexpr qint64 kMaxDirectoryBytes = 16LL << 20;
constexpr qint64 kEndSearch = 65535 + TArcZipCentralDirEnd::kSize;

const unsigned char* at(const QByteArray& bytes, qint64 offset) {
    return reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
}

void put16(QByteArray& out, std::uint32_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}

void put32(QByteArray& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The Zip64 values a record leaves at their maximum, in the order the format lists them.
bool readZip64(const QByteArray& extra, ZipRecord& r, bool wideSize, bool wideCompressed,
               bool wideOffset) {
    for (qint64 p = 0; p + 4 <= extra.size();) {
        const std::uint16_t id = le16(at(extra, p));
        const std::uint16_t length = le16(at(extra, p + 2));
        if (p + 4 + length > extra.size()) {
            return false;
        }
        if (id == kZip64ExtraFieldHeaderID) {
            qint64 k = p + 4;
            const qint64 end = k + length;
            for (auto [wide, field] :
                 {std::pair{wideSize, &r.size}, std::pair{wideCompressed, &r.compressedSize},
                  std::pair{wideOffset, &r.localOffset}}) {
                if (wide) {
                    if (k + 8 > end) {
                        return false;
                    }
                    *field = le64(at(extra, k));
                    k += 8;
                }
            }
            return true;
        }
        p += 4 + length;
    }
    return !wideSize && !wideCompressed && !wideOffset;
}

std::optional<std::vector<ZipRecord>> readRecords(const QByteArray& dir, std::uint64_t count,
                                                  std::uint64_t dirOffset) {
    std::vector<ZipRecord> records;
    records.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1 << 16)));
    qint64 p = 0;
    for (std::uint64_t n = 0; n < count; ++n) {
        if (p + TArcZipCentralDir::kSize > dir.size() || le32(at(dir, p)) != kCentralDirSignature) {
            return std::nullopt;
        }
        const auto cd = TArcZipCentralDir::parse(at(dir, p));
        const qint64 variable = qint64{cd.nameLength} + cd.extraLength + cd.commentLength;
        if (p + TArcZipCentralDir::kSize + variable > dir.size() || cd.diskNumberStart != 0) {
            return std::nullopt;
        }
        ZipRecord r;
        r.versionNeeded = cd.extractVersion;
        r.flags = cd.genPurposeFlag;
        r.method = cd.compMethod;
        r.time = cd.lastModTime;
        r.date = cd.lastModDate;
        r.crc = cd.crc32;
        r.compressedSize = cd.compSize;
        r.size = cd.unCompSize;
        r.localOffset = cd.relOffsetLH;
        const qint64 name = p + TArcZipCentralDir::kSize;
        r.name = dir.mid(name, cd.nameLength);
        if (!readZip64(dir.mid(name + cd.nameLength, cd.extraLength), r,
                       cd.unCompSize == 0xFFFFFFFF, cd.compSize == 0xFFFFFFFF,
                       cd.relOffsetLH == 0xFFFFFFFF)) {
            return std::nullopt;
        }
        const std::uint64_t least = TArcZipLocalHeader::kSize + r.name.size();
        if (r.localOffset > dirOffset || dirOffset - r.localOffset < least ||
            r.compressedSize > dirOffset - r.localOffset - least) {
            return std::nullopt;
        }
        records.push_back(std::move(r));
        p += TArcZipCentralDir::kSize + variable;
    }
    if (p != dir.size()) {
        return std::nullopt;
    }
    return records;
}

}  // namespace

bool ZipRecord::sameContent(const ZipRecord& o) const {
    return name == o.name && crc == o.crc && compressedSize == o.compressedSize && size == o.size &&
           method == o.method && flags == o.flags;
}

QByteArray ZipRecord::derivedLocalHeader() const {
    QByteArray h;
    h.reserve(TArcZipLocalHeader::kSize + name.size());
    put32(h, kLocalHeaderSignature);
    put16(h, versionNeeded);
    put16(h, flags);
    put16(h, method);
    put16(h, time);
    put16(h, date);
    put32(h, crc);
    put32(h, static_cast<std::uint32_t>(compressedSize));
    put32(h, static_cast<std::uint32_t>(size));
    put16(h, static_cast<std::uint32_t>(name.size()));
    put16(h, 0);
    return h + name;
}

bool ZipDirectory::headersFollowDirectory() const {
    return comment == kDerivedHeadersComment &&
           std::none_of(entries.begin(), entries.end(), [](const ZipRecord& r) {
               return r.hasDataDescriptor() || r.compressedSize >= 0xFFFFFFFF ||
                      r.size >= 0xFFFFFFFF;
           });
}

ZipTail readZipTail(const QByteArray& tail, qint64 fileSize) {
    ZipTail result;
    const qint64 base = fileSize - tail.size();
    if (base < 0 || tail.size() < TArcZipCentralDirEnd::kSize) {
        return result;
    }
    // The end record whose comment runs exactly to the end of the file.
    qint64 endAt = -1;
    const qint64 lowest = std::max<qint64>(0, tail.size() - kEndSearch);
    for (qint64 i = tail.size() - TArcZipCentralDirEnd::kSize; i >= lowest; --i) {
        if (le32(at(tail, i)) == kCentralDirEndSignature &&
            i + TArcZipCentralDirEnd::kSize + le16(at(tail, i + 20)) == tail.size()) {
            endAt = i;
            break;
        }
    }
    if (endAt < 0) {
        return result;
    }
    const auto end = TArcZipCentralDirEnd::parse(at(tail, endAt));
    if (end.diskNumber != 0 || end.startDiskNumber != 0 ||
        end.entriesOnDisk != end.entriesCentralDir) {
        return result;
    }
    std::uint64_t count = end.entriesCentralDir;
    std::uint64_t dirSize = end.centralDirSize;
    std::uint64_t dirOffset = end.offsetStartDir;
    qint64 dirEnd = base + endAt;  // the directory ends where the records after it start
    const qint64 locatorAt = endAt - TArcZip64CentralDirEndLocator::kSize;
    if (locatorAt >= 0 && le32(at(tail, locatorAt)) == kZip64LocatorSignature) {
        const auto locator = TArcZip64CentralDirEndLocator::parse(at(tail, locatorAt));
        const auto recordEnd = locator.offsetStartDirEnd + TArcZip64CentralDirEnd::kSize;
        if (recordEnd > static_cast<std::uint64_t>(base + locatorAt)) {
            return result;
        }
        const qint64 recordAt = static_cast<qint64>(locator.offsetStartDirEnd) - base;
        if (recordAt < 0) {
            result.state = ZipTail::State::NeedsMore;
            result.needFrom = static_cast<qint64>(locator.offsetStartDirEnd);
            return result;
        }
        const auto end64 = TArcZip64CentralDirEnd::parse(at(tail, recordAt));
        if (end64.signature != kZip64EndSignature || end64.diskNumber != 0) {
            return result;
        }
        count = end64.entriesCentralDir;
        dirSize = end64.centralDirSize;
        dirOffset = end64.offsetStartDir;
        dirEnd = base + recordAt;
    }
    if (dirSize > static_cast<std::uint64_t>(dirEnd) ||
        dirOffset != static_cast<std::uint64_t>(dirEnd) - dirSize ||
        static_cast<qint64>(dirSize) > kMaxDirectoryBytes ||
        count > dirSize / TArcZipCentralDir::kSize) {
        return result;
    }
    if (static_cast<qint64>(dirOffset) < base) {
        result.state = ZipTail::State::NeedsMore;
        result.needFrom = static_cast<qint64>(dirOffset);
        return result;
    }
    const QByteArray dir = tail.mid(static_cast<qint64>(dirOffset) - base, dirSize);
    std::optional<std::vector<ZipRecord>> records = readRecords(dir, count, dirOffset);
    if (!records) {
        return result;
    }
    result.state = ZipTail::State::Read;
    result.directory.entries = std::move(*records);
    result.directory.offset = dirOffset;
    result.directory.comment = tail.mid(endAt + TArcZipCentralDirEnd::kSize);
    return result;
}

std::optional<qint64> agreeingLocalHeaderLength(const QByteArray& bytes, const ZipRecord& r) {
    if (bytes.size() < TArcZipLocalHeader::kSize) {
        return std::nullopt;
    }
    const auto local = TArcZipLocalHeader::parse(at(bytes, 0));
    const bool sizesThere = r.hasDataDescriptor() ||
                            (local.crc32 == r.crc &&
                             (local.compSize == r.compressedSize || local.compSize == 0xFFFFFFFF) &&
                             (local.unCompSize == r.size || local.unCompSize == 0xFFFFFFFF));
    const bool agrees = local.signature == kLocalHeaderSignature &&
                        local.extractVersion == r.versionNeeded &&
                        local.genPurposeFlag == r.flags && local.compMethod == r.method &&
                        local.lastModTime == r.time && local.lastModDate == r.date && sizesThere &&
                        local.nameLength == r.name.size() &&
                        bytes.size() >= TArcZipLocalHeader::kSize + r.name.size() &&
                        bytes.mid(TArcZipLocalHeader::kSize, r.name.size()) == r.name;
    if (!agrees) {
        return std::nullopt;
    }
    return qint64{TArcZipLocalHeader::kSize} + local.nameLength + local.extraLength;
}

std::optional<ZipDirectory> readZipDirectory(QByteArray& tail, qint64 fileSize,
                                             const BytesBefore& more) {
    for (int round = 0; round < 3; ++round) {
        ZipTail read = readZipTail(tail, fileSize);
        if (read.state == ZipTail::State::Read) {
            return std::move(read.directory);
        }
        const qint64 from = fileSize - tail.size();
        if (read.state != ZipTail::State::NeedsMore || read.needFrom >= from) {
            return std::nullopt;
        }
        const std::optional<QByteArray> before = more(read.needFrom, from - read.needFrom);
        if (!before || before->size() != from - read.needFrom) {
            return std::nullopt;
        }
        tail = *before + tail;
    }
    return std::nullopt;
}

std::optional<ZipLayout> readZipLayout(const platform::File& file) {
    const qint64 size = file.size();
    const auto readBytes = [&](qint64 from, qint64 length) -> std::optional<QByteArray> {
        QByteArray bytes(length, Qt::Uninitialized);
        if (file.readAt(from, bytes.data(), length) != length) {
            return std::nullopt;
        }
        return bytes;
    };
    const qint64 from = std::max<qint64>(0, size - kEndSearch);
    std::optional<QByteArray> tail = readBytes(from, size - from);
    std::optional<ZipDirectory> directory =
        tail ? readZipDirectory(*tail, size, readBytes) : std::nullopt;
    if (!directory) {
        return std::nullopt;
    }
    ZipLayout layout{std::move(*directory), {}, size};
    layout.dataOffsets.reserve(layout.directory.entries.size());
    for (const ZipRecord& r : layout.directory.entries) {
        QByteArray header(TArcZipLocalHeader::kSize + r.name.size(), Qt::Uninitialized);
        if (file.readAt(static_cast<qint64>(r.localOffset), header.data(), header.size()) !=
            header.size()) {
            return std::nullopt;
        }
        const std::optional<qint64> length = agreeingLocalHeaderLength(header, r);
        const std::uint64_t data = r.localOffset + static_cast<std::uint64_t>(length.value_or(0));
        if (!length || data + r.compressedSize > layout.directory.offset) {
            return std::nullopt;
        }
        layout.dataOffsets.push_back(data);
    }
    return layout;
}

}  // namespace selvanix
