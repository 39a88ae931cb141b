#include "ExerciseAssembly.h"

#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "archive/Crc32.h"
#include "delta/ArchiveDelta.h"
#include "net/BodyFile.h"
#include "net/ByteRanges.h"
#include "net/RangeFetch.h"
#include "net/RangeReply.h"

namespace selvanix::fuzz {

namespace {

using net::RangeSource;

const QString kName = QStringLiteral("upgrade-brodelik.zip");
const QByteArray kValidator = "\"kept\"";
const QByteArray kSeparator = "\n--next--\n";

void le(QByteArray& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// A stored archive whose local headers follow its directory, as the publisher writes them.
QByteArray storedZip(const std::vector<std::pair<QByteArray, QByteArray>>& entries) {
    QByteArray out;
    QByteArray directory;
    for (const auto& [name, data] : entries) {
        Crc32 crc;
        crc.update(data.constData(), static_cast<std::size_t>(data.size()));
        const auto offset = static_cast<std::uint32_t>(out.size());
        QByteArray common;
        le(common, 20, 2);
        le(common, 0, 2);
        le(common, 0, 2);
        le(common, 0x6000, 2);
        le(common, 0x5A21, 2);
        le(common, crc.value(), 4);
        le(common, static_cast<std::uint32_t>(data.size()), 4);
        le(common, static_cast<std::uint32_t>(data.size()), 4);
        le(common, static_cast<std::uint32_t>(name.size()), 2);
        le(common, 0, 2);
        le(out, 0x04034b50, 4);
        out += common + name + data;
        le(directory, 0x02014b50, 4);
        le(directory, 20, 2);
        directory += common;
        le(directory, 0, 2);
        le(directory, 0, 2);
        le(directory, 0, 2);
        le(directory, 0x20, 4);
        le(directory, offset, 4);
        directory += name;
    }
    const auto at = static_cast<std::uint32_t>(out.size());
    out += directory;
    le(out, 0x06054b50, 4);
    le(out, 0, 4);
    le(out, static_cast<std::uint32_t>(entries.size()), 2);
    le(out, static_cast<std::uint32_t>(entries.size()), 2);
    le(out, static_cast<std::uint32_t>(directory.size()), 4);
    le(out, at, 4);
    le(out, 0, 2);
    return out;
}

QByteArray pattern(char seed, qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + i * 7 + (i >> 9));
    }
    return bytes;
}

QByteArray release(int n) {
    return storedZip({{"brodelik.exe", pattern('a', 20000)},
                      {"lib/engine.dll", pattern(n == 1 ? 'b' : 'c', 12000)},
                      {"data/brodelik.sql", pattern('d', 20000)}});
}

QByteArray sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

int u16(const QByteArray& bytes, qsizetype at) {
    return at + 1 < bytes.size() ? static_cast<unsigned char>(bytes[at]) |
                                       static_cast<unsigned char>(bytes[at + 1]) << 8
                                 : 0;
}

// The server: each request takes the next answer, as the real one's reply goes through the
// same reply and order of requests.
class ScriptedRanges final : public RangeSource {
public:
    ScriptedRanges(QList<QByteArray> answers, qint64 size)
        : answers_(std::move(answers)), size_(size), order_(size) {}

    void expect(qint64) override {}

    Result fetch(const std::vector<net::ByteRange>& ranges, qint64 saves,
                 const Sink& sink) override {
        return order_.fetch(ranges, saves, [&](const std::vector<net::ByteRange>& asked) {
            return answer(asked, sink);
        });
    }

private:
    net::RangeFetch::Answered answer(const std::vector<net::ByteRange>& asked, const Sink& sink) {
        net::RangeReply reply(asked, size_, kValidator);
        if (answers_.isEmpty()) {
            return {Result::Done, reply.missing()};
        }
        QByteArray body = answers_.takeFirst();
        const int kind = body.isEmpty() ? 0 : static_cast<unsigned char>(body[0]) % 5;
        body.remove(0, 1);
        net::HttpReplyHead head;
        head.status = kind == 2 ? 416 : kind >= 3 ? 200 : 206;
        head.etag = kind == 4 ? QByteArray("\"other\"") : kValidator;
        if (kind == 0) {
            head.contentType = "multipart/byteranges; boundary=fz";
        } else if (kind == 1) {
            const qsizetype line = body.indexOf('\n');
            head.contentRange = body.left(line);
            body.remove(0, line < 0 ? body.size() : line + 1);
        }
        if (reply.head(head)) {
            for (qsizetype at = 0; at < body.size(); at += 4096) {
                const QByteArray piece = body.mid(at, 4096);
                if (!reply.body(piece.constData(), static_cast<std::size_t>(piece.size()), sink)) {
                    break;
                }
            }
        }
        return {reply.result(), reply.missing()};
    }

    QList<QByteArray> answers_;
    qint64 size_;
    net::RangeFetch order_;
};

// A server that answers every request truthfully from the next release, noting what it was
// asked.
class HonestRanges final : public RangeSource {
public:
    explicit HonestRanges(QByteArray file) : file_(std::move(file)) {}
    void expect(qint64) override {}
    Result fetch(const std::vector<net::ByteRange>& ranges, qint64, const Sink& sink) override {
        asked.push_back(ranges);
        for (const net::ByteRange& r : ranges) {
            if (!sink(r.at, file_.constData() + r.at, static_cast<std::size_t>(r.length))) {
                return Result::Failed;
            }
        }
        return Result::Done;
    }
    std::vector<std::vector<net::ByteRange>> asked;  // by request

private:
    QByteArray file_;
};

// The kept release in a fresh folder, as an installation leaves it.
std::unique_ptr<QTemporaryDir> installed(const QString& root) {
    auto dir = std::make_unique<QTemporaryDir>(root + QStringLiteral("/assembly-XXXXXX"));
    QFile kept(dir->path() + u'/' + kName);
    const QByteArray one = release(1);
    if (!kept.open(QIODevice::WriteOnly) || kept.write(one) != one.size()) {
        return nullptr;
    }
    kept.close();
    keepArchive(dir->path(), kName);
    QFile::remove(dir->path() + u'/' + kName);
    return dir;
}

ArchiveHashCheck onlyNext() {
    return [expected = sha256(release(2))](const QByteArray& sha) { return sha == expected; };
}

}  // namespace

AssemblyRun exerciseAssembly(const QByteArray& bytes, const QString& root) {
    const std::unique_ptr<QTemporaryDir> dir = installed(root);
    if (!dir) {
        return {QStringLiteral("the kept archive cannot be written"), false};
    }
    const QByteArray next = release(2);
    // A file of up to four times the next release, so an assembly never lays out much disk.
    const qsizetype tailLength =
        std::min<qsizetype>(u16(bytes, 2), std::max<qsizetype>(0, bytes.size() - 4));
    const QByteArray tail = bytes.mid(4, tailLength);
    const qint64 size = std::max<qint64>(tail.size(), next.size() * u16(bytes, 0) / 16384);
    QList<QByteArray> answers;
    const QByteArray rest = bytes.mid(4 + tailLength);
    for (qsizetype at = 0; at < rest.size();) {
        const qsizetype found = rest.indexOf(kSeparator, at);
        const qsizetype end = found < 0 ? rest.size() : found;
        answers.append(rest.mid(at, end - at));
        at = found < 0 ? rest.size() : found + kSeparator.size();
    }
    ScriptedRanges server(answers, size);
    const std::shared_ptr<net::BodyAssembly> assembly =
        archiveDelta(dir->path(), kName, onlyNext());
    if (!assembly) {
        return {QStringLiteral("the kept archive was not taken"), false};
    }
    const net::BodyAssembly::Outcome outcome =
        assembly->assemble(net::RemoteFile{size, kValidator, tail}, server);
    if (!outcome.body) {
        return {};
    }
    QByteArray made(static_cast<qsizetype>(outcome.body->size()), Qt::Uninitialized);
    const ssize_t n =
        ::pread(outcome.body->descriptor(), made.data(), static_cast<size_t>(made.size()), 0);
    if (n != made.size() || made != next) {
        return {QStringLiteral("an assembly the check never passed came out as the archive"),
                false};
    }
    return {{}, true};
}

QByteArray assemblySeed(const QString& root) {
    const std::unique_ptr<QTemporaryDir> dir = installed(root);
    const QByteArray next = release(2);
    const std::shared_ptr<net::BodyAssembly> assembly =
        dir ? archiveDelta(dir->path(), kName, onlyNext()) : nullptr;
    if (!assembly) {
        return {};
    }
    const qint64 tailLength = std::min<qint64>(assembly->tailLength(), next.size());
    const QByteArray tail = next.right(tailLength);
    HonestRanges honest(next);
    assembly->assemble(net::RemoteFile{next.size(), kValidator, tail}, honest);
    QByteArray seed;
    le(seed, 16384, 2);
    le(seed, static_cast<std::uint32_t>(tail.size()), 2);
    seed += tail;
    // A multipart answer to each request, with every part it asked for.
    for (const std::vector<net::ByteRange>& request : honest.asked) {
        seed += '\0';  // multipart
        for (const net::ByteRange& r : request) {
            seed += "\r\n--fz\r\nContent-Range: bytes " + QByteArray::number(r.at) + '-' +
                    QByteArray::number(r.at + r.length - 1) + '/' +
                    QByteArray::number(next.size()) + "\r\n\r\n" + next.mid(r.at, r.length);
        }
        seed += "\r\n--fz--\r\n" + kSeparator;
    }
    return seed;
}

}  // namespace selvanix::fuzz
