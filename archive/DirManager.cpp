#include "DirManager.h"

#include "ArcException.h"
#include "SignatureScanner.h"
#include "platform/CodePages.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace selvanix {

namespace {

constexpr qint64 kEndSearchSpan = 65600;
constexpr qint64 kLocalSearchBlock = 65535;
constexpr qint64 kStubSearchBlock = 10000;
// A directory rebuilt from local headers keeps at most as many entries as an archive without
// Zip64 records can list: a damaged package never holds more, and a file packed with header
// signatures cannot make the rebuilt list outgrow the archive many times over.
constexpr std::size_t kMaxRebuiltEntries = 65535;

// The directory cannot be read as the end record describes it.
struct UnreadableDirectory {};

const unsigned char* bytes(const QByteArray& a) {
    return reinterpret_cast<const unsigned char*>(a.constData());
}

}  // namespace

TArcDirManager::TArcDirManager(const ArchiveStream& stream, Options options)
    : stream_(stream), options_(options) {}

bool TArcDirManager::HasCentralDirEnd() {
    return GetCentralDirEnd().has_value() || options_.openCorruptedArchives;
}

std::optional<qint64> TArcDirManager::GetCentralDirEnd() {
    ArchiveComment.clear();
    CentralDirEnd = {};
    const qint64 size = stream_.size();
    const qint64 span = std::min(size, kEndSearchSpan);
    const qint64 base = size - span;
    const QByteArray tail = stream_.readBytes(base, span);
    const auto* t = bytes(tail);
    for (qint64 i = tail.size() - 4; i >= 0; --i) {
        if (le32(t + i) != kCentralDirEndSignature) {
            continue;
        }
        const qint64 p = base + i;
        if (size - p < TArcZipCentralDirEnd::kSize ||
            tail.size() - i < TArcZipCentralDirEnd::kSize) {
            continue;
        }
        const auto end = TArcZipCentralDirEnd::parse(t + i);
        if (end.startDiskNumber > end.diskNumber || end.entriesOnDisk > end.entriesCentralDir) {
            continue;
        }
        const qint64 recordEnd = p + TArcZipCentralDirEnd::kSize;
        if (end.centralDirSize != 0xFFFFFFFF && end.centralDirSize >= recordEnd) {
            continue;
        }
        if (end.startDiskNumber == end.diskNumber && end.offsetStartDir != 0xFFFFFFFF &&
            !(static_cast<qint64>(end.offsetStartDir) < recordEnd - end.centralDirSize)) {
            continue;
        }
        if (end.commentLength > size - recordEnd) {
            continue;
        }
        CentralDirEnd = end;
        ArchiveComment = stream_.readBytes(recordEnd, end.commentLength);
        return p;
    }
    return std::nullopt;
}

void TArcDirManager::LoadDir() {
    CDir.clear();
    StubSize = 0;
    FZip64 = false;
    lastDisk_ = 0;
    const std::optional<qint64> found = GetCentralDirEnd();
    if (!found || ForceBuildCentralDir) {
        TryToBuildCentralDir(found.has_value());
        return;
    }
    qint64 p = *found;

    std::array<unsigned char, TArcZip64CentralDirEnd::kSize> record{};
    if (p > TArcZip64CentralDirEndLocator::kSize &&
        stream_.readExactly(p - TArcZip64CentralDirEndLocator::kSize, record.data(),
                            TArcZip64CentralDirEndLocator::kSize) &&
        le32(record.data()) == kZip64LocatorSignature) {
        FZip64 = true;
        Zip64CentralDirEndLocator = TArcZip64CentralDirEndLocator::parse(record.data());
        p -= TArcZip64CentralDirEndLocator::kSize;
    }
    if (FZip64) {
        const auto at = Zip64CentralDirEndLocator.offsetStartDirEnd;
        const bool present = p > TArcZip64CentralDirEnd::kSize &&
                             at <= static_cast<std::uint64_t>(stream_.size()) &&
                             stream_.readExactly(static_cast<qint64>(at), record.data(),
                                                 TArcZip64CentralDirEnd::kSize) &&
                             le32(record.data()) == kZip64EndSignature;
        if (!present) {
            raiseArcError(ARC_ERROR_NO_ZIP64_END);
        }
        Zip64CentralDirEnd = TArcZip64CentralDirEnd::parse(record.data());
        p -= TArcZip64CentralDirEnd::kSize;
    } else if (CentralDirEnd.entriesCentralDir == 0xFFFF) {
        TryToBuildCentralDir(true);
        return;
    }

    if (CentralDirEnd.diskNumber != 0xFFFF) {
        lastDisk_ = CentralDirEnd.diskNumber;
    } else if (FZip64) {
        lastDisk_ = Zip64CentralDirEndLocator.totalNumberOfDisks - 1;
    }
    if (isMultiVolume()) {
        raiseArcError(ARC_ERROR_MULTI_VOLUME);  // spanned archives are not read here
    }

    const std::uint64_t dirSize =
        FZip64 ? Zip64CentralDirEnd.centralDirSize : CentralDirEnd.centralDirSize;
    const std::uint64_t count = FZip64 ? (Zip64CentralDirEnd.entriesCentralDir & 0xFFFFFFFF)
                                       : CentralDirEnd.entriesCentralDir;
    try {
        if (dirSize > static_cast<std::uint64_t>(p)) {
            throw UnreadableDirectory{};
        }
        CentralDirOffset = static_cast<std::uint64_t>(p) - dirSize;
        readEntries(static_cast<qint64>(CentralDirOffset), count, true,
                    static_cast<qint64>(CentralDirOffset + dirSize));
    } catch (const UnreadableDirectory&) {
        CDir.clear();
        TryToBuildCentralDir(true);
        return;
    }
    detectStub(p);
}

void TArcDirManager::readEntries(qint64 position, std::uint64_t count, bool endFound,
                                 qint64 dirEnd) {
    // Every entry takes at least its fixed bytes of the file, so the loop ends at its end.
    // Past the count, records that still lie within the directory's size are read too: an
    // end record without Zip64 counts only modulo 65,536.
    BufferedReader reader(stream_);
    for (std::uint64_t n = 0;; ++n) {
        std::array<unsigned char, TArcZipCentralDir::kSize> fixed{};
        if (n >= count) {
            if (position + TArcZipCentralDir::kSize > dirEnd ||
                !reader.readExactly(position, fixed.data(), fixed.size()) ||
                le32(fixed.data()) != kCentralDirSignature) {
                break;
            }
        } else if (!reader.readExactly(position, fixed.data(), fixed.size())) {
            throw UnreadableDirectory{};
        }
        position += TArcZipCentralDir::kSize;
        TDirItem item;
        item.CentralDir = TArcZipCentralDir::parse(fixed.data());
        const TArcZipCentralDir& cd = item.CentralDir;
        if (item.encrypted() && cd.extractVersion < kNoCheckVersion) {
            item.ArcEncryptionAlgorithm = caPkzipClassic;
        }
        item.CompressionMethod = cd.compMethod;

        QByteArray name(cd.nameLength, Qt::Uninitialized);
        if (!reader.readExactly(position, name.data(), name.size())) {
            throw UnreadableDirectory{};
        }
        position += cd.nameLength;
        name = oemConverted(name, cd.genPurposeFlag, endFound);
        item.Name =
            platform::isUtf8Name(name) ? QString::fromUtf8(name) : platform::ansiToText(name);

        QByteArray extra(cd.extraLength, Qt::Uninitialized);
        if (!reader.readExactly(position, extra.data(), extra.size())) {
            throw UnreadableDirectory{};
        }
        position += cd.extraLength;
        readExtraField(item, extra);

        item.Comment = QByteArray(cd.commentLength, Qt::Uninitialized);
        if (!reader.readExactly(position, item.Comment.data(), item.Comment.size())) {
            throw UnreadableDirectory{};
        }
        position += cd.commentLength;
        item.LocalHeaderOffset =
            cd.relOffsetLH == 0xFFFFFFFF ? item.Zip64ExtInfo.relOffsetLH : cd.relOffsetLH;
        CDir.push_back(std::move(item));
    }
}

QByteArray TArcDirManager::oemConverted(const QByteArray& name, std::uint16_t flags,
                                        bool endFound) const {
    if (endFound && options_.oemFileNames && (flags & 0x0800) == 0) {
        return platform::oemToAnsi(name);
    }
    return name;
}

void TArcDirManager::readExtraField(TDirItem& item, const QByteArray& extra) const {
    const auto* p = bytes(extra);
    qsizetype left = extra.size();
    qsizetype at = 0;
    while (left >= 4) {
        TArcExtraFieldDataBlock block;
        block.headerID = le16(p + at);
        block.dataSize = le16(p + at + 2);
        at += 4;
        left -= 4;
        const qsizetype size = std::min<qsizetype>(block.dataSize, left);
        block.pData = extra.mid(at, size);
        at += size;
        left -= size;
        const auto* d = bytes(block.pData);
        const qsizetype n = block.pData.size();
        const TArcZipCentralDir& cd = item.CentralDir;

        if (block.headerID == kZip64ExtraFieldHeaderID) {
            item.bHugeFile = true;
            qsizetype k = 0;
            if (cd.unCompSize == 0xFFFFFFFF && k + 8 <= n) {
                item.Zip64ExtInfo.uncompSize = le64(d + k);
                k += 8;
            }
            if (cd.compSize == 0xFFFFFFFF && k + 8 <= n) {
                item.Zip64ExtInfo.compSize = le64(d + k);
                k += 8;
            }
            if (cd.relOffsetLH == 0xFFFFFFFF && k + 8 <= n) {
                item.Zip64ExtInfo.relOffsetLH = le64(d + k);
                k += 8;
            }
            if (cd.diskNumberStart == 0xFFFF && k + 4 <= n) {
                item.Zip64ExtInfo.diskNumberStart = le32(d + k);
            }
        } else if (block.headerID == UnicodeExtraFieldHeaderID) {
            if (n >= 8 && le32(d) == UnicodeAdditionalSignature) {
                const std::uint64_t units =
                    std::min<std::uint64_t>(le32(d + 4), static_cast<std::uint64_t>(n - 8) / 2);
                QString name(static_cast<qsizetype>(units), Qt::Uninitialized);
                for (std::uint64_t u = 0; u < units; ++u) {
                    name[static_cast<qsizetype>(u)] = QChar(le16(d + 8 + 2 * u));
                }
                item.Name = name;
            }
        } else if (block.headerID == AesExtraFieldHeaderID) {
            if (cd.extractVersion < kNoCheckVersion && n >= 7) {
                item.AesVersion = le16(d);
                item.ArcEncryptionAlgorithm = d[4];
                item.CompressionMethod = le16(d + 5);
            }
        }
        item.ExtraFields.push_back(std::move(block));
    }
}

void TArcDirManager::detectStub(qint64 endPosition) {
    if (isMultiVolume()) {
        return;
    }
    if (CentralDirEnd.entriesCentralDir == 0 || CDir.empty()) {
        StubSize = static_cast<std::uint64_t>(endPosition);
        return;
    }
    const TDirItem& first = CDir.front();
    const qint64 size = stream_.size();
    qint64 from = first.LocalHeaderOffset < static_cast<std::uint64_t>(size)
                      ? static_cast<qint64>(first.LocalHeaderOffset)
                      : size;
    SignatureScanner scanner(stream_, kLocalHeaderSignature, kStubSearchBlock, 0);
    while (const auto x = scanner.find(from)) {
        std::array<unsigned char, TArcZipLocalHeader::kSize> raw{};
        if (stream_.readExactly(*x, raw.data(), raw.size())) {
            const auto local = TArcZipLocalHeader::parse(raw.data());
            const bool nameThere =
                size - (*x + TArcZipLocalHeader::kSize) >= static_cast<qint64>(local.nameLength);
            const TArcZipCentralDir& cd = first.CentralDir;
            const bool agrees = local.extractVersion == cd.extractVersion &&
                                local.compMethod == cd.compMethod &&
                                local.lastModTime == cd.lastModTime &&
                                local.lastModDate == cd.lastModDate && local.crc32 == cd.crc32 &&
                                local.compSize == cd.compSize && local.unCompSize == cd.unCompSize;
            if (nameThere && (*x == 0 || agrees)) {
                StubSize = static_cast<std::uint64_t>(*x);
                break;
            }
        }
        from = *x + 1;
    }
    // The offsets are shifted by the stub only when they do not point at local headers as
    // stored and do once shifted: an archive whose offsets are right is never moved, in
    // whatever order its directory lists them.
    const std::uint64_t stored = first.LocalHeaderOffset;
    if (StubSize > stored && !startsLocalHeader(stored) && startsLocalHeader(StubSize)) {
        const std::uint64_t shift = StubSize - stored;
        for (TDirItem& each : CDir) {
            each.LocalHeaderOffset += shift;
        }
    }
}

bool TArcDirManager::startsLocalHeader(std::uint64_t offset) const {
    std::array<unsigned char, 4> signature{};
    return offset < static_cast<std::uint64_t>(stream_.size()) &&
           stream_.readExactly(static_cast<qint64>(offset), signature.data(), signature.size()) &&
           le32(signature.data()) == kLocalHeaderSignature;
}

void TArcDirManager::TryToBuildCentralDir(bool endFound) {
    if (isMultiVolume()) {
        raiseArcError(ARC_ERROR_MULTI_VOLUME);
    }
    const qint64 size = stream_.size();
    SignatureScanner headers(stream_, kLocalHeaderSignature, kLocalSearchBlock,
                             TArcZipLocalHeader::kSize);
    SignatureScanner descriptors(stream_, kDataDescriptorSignature, kLocalSearchBlock, 16);
    std::optional<qint64> match = headers.find(0);
    if (!match) {
        raiseArcError(ARC_ERROR_INVALID_ARCHIVE);
    }
    // Descriptor searches move forward only, so one search serves every later start before
    // the descriptor it found.
    qint64 searchedFrom = -1;
    std::optional<qint64> descriptor;

    for (; match && CDir.size() < kMaxRebuiltEntries; match = headers.find(*match + 4)) {
        const qint64 x = *match;
        std::array<unsigned char, TArcZipLocalHeader::kSize> raw{};
        if (!stream_.readExactly(x, raw.data(), raw.size())) {
            break;
        }
        const auto local = TArcZipLocalHeader::parse(raw.data());
        if (local.extraLength > 260) {
            continue;
        }
        TDirItem item;
        TArcZipCentralDir& cd = item.CentralDir;
        cd.signature = local.signature;
        cd.versionMadeBy = local.extractVersion;
        cd.extractVersion = local.extractVersion;
        cd.genPurposeFlag = local.genPurposeFlag;
        cd.compMethod = local.compMethod;
        cd.lastModTime = local.lastModTime;
        cd.lastModDate = local.lastModDate;
        cd.crc32 = local.crc32;
        cd.compSize = local.compSize;
        cd.unCompSize = local.unCompSize;
        cd.nameLength = local.nameLength;
        cd.extraLength = local.extraLength;
        cd.relOffsetLH = static_cast<std::uint32_t>(std::min<qint64>(x, 0xFFFFFFFF));
        item.CompressionMethod = local.compMethod;
        item.LocalHeaderOffset = static_cast<std::uint64_t>(x);

        const qint64 nameAt = x + TArcZipLocalHeader::kSize;
        if (size - nameAt >= local.nameLength) {
            QByteArray name = oemConverted(stream_.readBytes(nameAt, local.nameLength),
                                           local.genPurposeFlag, endFound);
            const qsizetype nul = name.indexOf('\0');
            name = nul < 0 ? name : name.left(nul);
            // The same test as in the directory: a UTF-8 name is read as UTF-8.
            item.Name =
                platform::isUtf8Name(name) ? QString::fromUtf8(name) : platform::ansiToText(name);
            // A Zip64 block supplies the sizes a local header leaves at FFFFFFFF.
            readExtraField(item, stream_.readBytes(nameAt + local.nameLength, local.extraLength));
        }
        if (static_cast<qint64>(std::min<std::uint64_t>(item.compressedSize(), INT64_MAX)) >=
            size) {
            continue;
        }
        // Only its name makes an entry a folder: an empty file is a file.
        const bool folder = item.Name.endsWith(u'/') || item.Name.endsWith(u'\\');
        cd.externalAttr = folder ? ZipAttribute::Directory : ZipAttribute::Archive;
        if (item.hasDataDescriptor()) {
            if (!(searchedFrom >= 0 && searchedFrom <= x && (!descriptor || *descriptor >= x))) {
                descriptor = descriptors.find(x);
                searchedFrom = x;
            }
            std::array<unsigned char, 16> dd{};
            if (descriptor && stream_.readExactly(*descriptor, dd.data(), dd.size())) {
                cd.crc32 = le32(dd.data() + 4);
                cd.compSize = le32(dd.data() + 8);
                cd.unCompSize = le32(dd.data() + 12);
            }
        }
        CDir.push_back(std::move(item));
    }
    CentralDirOffset = static_cast<std::uint64_t>(size);
}

}  // namespace selvanix
