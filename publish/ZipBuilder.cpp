#include "ZipBuilder.h"
#include "archive/EntryDeflate.h"
#include "archive/ZipDirectory.h"
#include "archive/ZipRecords.h"

#include <zlib.h>
#include <QDateTime>
#include <QFile>
#include <limits>
#include <memory>

namespace selvanix::publish {

namespace {

constexpr std::uint16_t kVersionNeeded = 20;
constexpr std::uint16_t kMadeOnUnix = 0x031E;
constexpr std::uint16_t kUtf8Names = 0x0800;
constexpr std::uint64_t kLimit = std::numeric_limits<std::uint32_t>::max();

void put16(QByteArray& out, std::uint32_t v) {
    out.append(static_cast<char>(v & 0xFF)).append(static_cast<char>((v >> 8) & 0xFF));
}

void put32(QByteArray& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// DOS date and time of an instant in UTC, so the archive does not depend on the time zone.
std::pair<std::uint16_t, std::uint16_t> dosDateTime(std::int64_t utcSeconds) {
    QDateTime when = QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC);
    if (when.date().year() < 1980) {
        when = QDateTime(QDate(1980, 1, 1), QTime(0, 0), Qt::UTC);
    }
    const QDate d = when.date();
    const QTime t = when.time();
    return {static_cast<std::uint16_t>(((d.year() - 1980) << 9) | (d.month() << 5) | d.day()),
            static_cast<std::uint16_t>((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2))};
}

}  // namespace

bool ZipBuilder::fail(const QString& message) {
    if (error_.isEmpty()) {
        error_ = message;
    }
    return false;
}

bool ZipBuilder::write(const QByteArray& bytes) {
    return out_.write(bytes) == bytes.size() ||
           fail(QStringLiteral("cannot write %1: %2").arg(out_.fileName(), out_.errorString()));
}

// A file a client may rebuild: read and compressed whole, as deflateWhole makes its bytes.
bool ZipBuilder::addWhole(QFile& in, const QString& hostPath, std::uint16_t method,
                          std::uint64_t& size, std::uint64_t& compressed, uLong& crc) {
    const QByteArray contents = in.readAll();
    if (contents.size() != in.size() || in.error() != QFileDevice::NoError) {
        return fail(QStringLiteral("cannot read %1: %2").arg(hostPath, in.errorString()));
    }
    size = static_cast<std::uint64_t>(contents.size());
    crc = ::crc32(crc, reinterpret_cast<const Bytef*>(contents.constData()),
                  static_cast<uInt>(contents.size()));
    if (method == ZipMethod::Stored) {
        return true;
    }
    const std::optional<QByteArray> packed =
        deflateWhole(contents, deflateWholeBound(contents.size()));
    if (!packed) {
        return fail(QStringLiteral("cannot compress %1").arg(hostPath));
    }
    compressed = static_cast<std::uint64_t>(packed->size());
    return write(*packed);
}

// A file too large to be rebuilt by a client: streamed through zlib in pieces.
bool ZipBuilder::addStreamed(QFile& in, const QString& hostPath, std::uint16_t method,
                             std::uint64_t& size, std::uint64_t& compressed, uLong& crc) {
    EntryDeflater deflater;
    if (!deflater.valid()) {
        return fail(QStringLiteral("cannot start the compressor"));
    }
    const auto buffer = std::make_unique<char[]>(EntryDeflater::kPiece);
    const auto packed = [&](const char* data, qint64 length) {
        compressed += static_cast<std::uint64_t>(length);
        return write(QByteArray::fromRawData(data, static_cast<qsizetype>(length)));
    };
    for (bool end = false; !end;) {
        const qint64 n = in.read(buffer.get(), EntryDeflater::kPiece);
        if (n < 0) {
            return fail(QStringLiteral("cannot read %1: %2").arg(hostPath, in.errorString()));
        }
        end = n == 0;
        size += static_cast<std::uint64_t>(n);
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(buffer.get()), static_cast<uInt>(n));
        if (method != ZipMethod::Stored && !deflater.feed(buffer.get(), n, end, packed)) {
            return fail(QStringLiteral("cannot compress %1").arg(hostPath));
        }
    }
    return true;
}

bool ZipBuilder::addFile(const QString& name, QFile& in, const QString& hostPath, unsigned mode,
                         std::int64_t modifiedUtcSeconds) {
    if (static_cast<std::uint64_t>(in.size()) >= kLimit ||
        static_cast<std::uint64_t>(out_.pos()) >= kLimit) {
        return fail(QStringLiteral("%1: archives of 4 GiB and more are not supported").arg(name));
    }
    Record r{};
    r.name = name.toUtf8();
    bool ascii = true;
    for (const char c : r.name) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    r.flags = ascii ? 0 : kUtf8Names;
    r.method = in.size() == 0 ? 0 : 8;
    std::tie(r.date, r.time) = dosDateTime(modifiedUtcSeconds);
    r.mode = (0100000u | (mode & 0777)) << 16;
    r.offset = static_cast<std::uint32_t>(out_.pos());

    const auto localHeader = [&] {
        QByteArray h;
        put32(h, 0x04034B50);
        put16(h, kVersionNeeded);
        put16(h, r.flags);
        put16(h, r.method);
        put16(h, r.time);
        put16(h, r.date);
        put32(h, r.crc);
        put32(h, r.compressedSize);
        put32(h, r.size);
        put16(h, static_cast<std::uint32_t>(r.name.size()));
        put16(h, 0);
        return h + r.name;
    };
    if (!write(localHeader())) {
        return false;
    }
    std::uint64_t size = 0;
    std::uint64_t compressed = 0;
    uLong crc = ::crc32(0, nullptr, 0);
    const bool whole = in.size() <= kWholeDeflateLimit;
    if (whole ? !addWhole(in, hostPath, r.method, size, compressed, crc)
              : !addStreamed(in, hostPath, r.method, size, compressed, crc)) {
        return false;
    }
    if (size >= kLimit || compressed >= kLimit) {
        return fail(QStringLiteral("%1: archives of 4 GiB and more are not supported").arg(name));
    }
    r.crc = static_cast<std::uint32_t>(crc);
    r.size = static_cast<std::uint32_t>(size);
    r.compressedSize = static_cast<std::uint32_t>(compressed);
    const qint64 end = out_.pos();
    if (!out_.seek(r.offset) || !write(localHeader()) || !out_.seek(end)) {
        return fail(QStringLiteral("cannot write %1: %2").arg(out_.fileName(), out_.errorString()));
    }

    put32(central_, 0x02014B50);
    put16(central_, kMadeOnUnix);
    put16(central_, kVersionNeeded);
    put16(central_, r.flags);
    put16(central_, r.method);
    put16(central_, r.time);
    put16(central_, r.date);
    put32(central_, r.crc);
    put32(central_, r.compressedSize);
    put32(central_, r.size);
    put16(central_, static_cast<std::uint32_t>(r.name.size()));
    put16(central_, 0);  // extra field
    put16(central_, 0);  // comment
    put16(central_, 0);  // disk
    put16(central_, 0);  // internal attributes
    put32(central_, r.mode);
    put32(central_, r.offset);
    central_ += r.name;
    ++count_;
    return true;
}

bool ZipBuilder::finish() {
    if (count_ > 0xFFFF) {
        return fail(QStringLiteral("more than 65,535 files are not supported"));
    }
    const auto offset = static_cast<std::uint64_t>(out_.pos());
    if (offset + static_cast<std::uint64_t>(central_.size()) >= kLimit) {
        return fail(QStringLiteral("archives of 4 GiB and more are not supported"));
    }
    QByteArray end;
    put32(end, 0x06054B50);
    put16(end, 0);
    put16(end, 0);
    put16(end, count_);
    put16(end, count_);
    put32(end, static_cast<std::uint32_t>(central_.size()));
    put32(end, static_cast<std::uint32_t>(offset));
    // The installer may then make the local headers instead of fetching them.
    const QByteArray comment(kDerivedHeadersComment);
    put16(end, static_cast<std::uint32_t>(comment.size()));
    return write(central_) && write(end + comment);
}

}  // namespace selvanix::publish
