#include "ExerciseDelta.h"

#include "archive/Crc32.h"
#include "config/ReleaseIndex.h"
#include "delta/DeltaApply.h"
#include "delta/DeltaBuilder.h"
#include "delta/EntryContents.h"
#include "delta/EntryPatch.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>
#include <memory>

namespace selvanix::fuzz {

namespace {

QByteArray text(int lines, bool edited) {
    QByteArray out;
    for (int i = 0; i < lines; ++i) {
        out +=
            "entry line " + QByteArray::number(i) + (edited && i % 101 == 7 ? " new" : "") + '\n';
    }
    return out;
}

// A stored archive of publisher-like entries, headers following the directory.
QByteArray archive(bool next) {
    struct Entry {
        QByteArray name;
        QByteArray data;
    };
    std::vector<Entry> entries{{"a.exe", text(3000, next)}, {"b.dll", text(500, false)}};
    if (next) {
        entries.push_back({"c.sql", "added in the next release\n"});
    }
    const auto le = [](QByteArray& out, quint64 v, int n) {
        for (int i = 0; i < n; ++i) {
            out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    QByteArray zip;
    QByteArray central;
    for (const Entry& e : entries) {
        ZipRecord r;
        r.name = e.name;
        r.versionNeeded = 20;
        r.method = 0;
        r.compressedSize = r.size = static_cast<std::uint64_t>(e.data.size());
        r.localOffset = static_cast<std::uint64_t>(zip.size());
        r.crc = crc32Of(e.data.constData(), static_cast<std::size_t>(e.data.size()));
        zip += r.derivedLocalHeader() + e.data;
        le(central, 0x02014B50, 4);
        le(central, 20, 2);
        le(central, 20, 2);
        le(central, 0, 2);
        le(central, 0, 2);
        le(central, 0, 4);
        le(central, r.crc, 4);
        le(central, r.compressedSize, 4);
        le(central, r.size, 4);
        le(central, static_cast<quint64>(e.name.size()), 2);
        le(central, 0, 8);
        le(central, 0, 4);
        le(central, r.localOffset, 4);
        central += e.name;
    }
    const QByteArray comment = kDerivedHeadersComment;
    QByteArray end;
    le(end, 0x06054B50, 4);
    le(end, 0, 4);
    le(end, entries.size(), 2);
    le(end, entries.size(), 2);
    le(end, static_cast<quint64>(central.size()), 4);
    le(end, static_cast<quint64>(zip.size()), 4);
    le(end, static_cast<quint64>(comment.size()), 2);
    return zip + central + end + comment;
}

struct Fixture {
    QString oldPath;
    QString newPath;
    std::optional<platform::File> old;
    std::optional<platform::File> next;
    std::optional<ZipLayout> oldLayout;
    std::optional<ZipLayout> newLayout;
    std::optional<BuiltDelta> honest;
    std::optional<signing::PrivateKey> key;
};

const Fixture& fixture(const QString& root) {
    static const std::unique_ptr<Fixture> made = [&] {
        auto f = std::make_unique<Fixture>();
        f->oldPath = root + QStringLiteral("/old.zip");
        f->newPath = root + QStringLiteral("/next.zip");
        for (const auto& [path, next] :
             {std::pair{f->oldPath, false}, std::pair{f->newPath, true}}) {
            QFile file(path);
            if (file.open(QIODevice::WriteOnly)) {
                file.write(archive(next));
            }
        }
        f->old = platform::File::openRegular(f->oldPath);
        f->next = platform::File::openRegular(f->newPath);
        if (f->old && f->next) {
            f->oldLayout = readZipLayout(*f->old);
            f->newLayout = readZipLayout(*f->next);
            f->honest = buildDelta(*f->old, *f->next);
        }
        f->key = signing::PrivateKey::generate();
        return f;
    }();
    return *made;
}

QString checkPatch(const QByteArray& input, const Fixture& f) {
    if (input.size() < 3) {
        return {};
    }
    const auto method = static_cast<PatchMethod>(static_cast<unsigned char>(input[0]));
    const quint16 size = qFromLittleEndian<quint16>(input.constData() + 1);
    const std::optional<QByteArray> old = entryContents(*f.old, *f.oldLayout, 0, 1 << 20);
    if (!old) {
        return QStringLiteral("the fixed old entry cannot be read");
    }
    QByteArray out(size, '\0');
    applyPatch(method, {old->constData(), static_cast<std::size_t>(old->size())},
               {input.constData() + 3, static_cast<std::size_t>(input.size() - 3)},
               {out.data(), static_cast<std::size_t>(out.size())});
    return {};
}

QString checkDelta(const QByteArray& input, const QString& root, const Fixture& f, int& rebuilt) {
    const QString path = root + QStringLiteral("/input.delta");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size()) {
            return QStringLiteral("cannot write the input");
        }
    }
    const std::optional<platform::File> delta = platform::File::openRegular(path);
    QFile::remove(path);
    const std::optional<std::vector<PatchRecord>> records =
        delta ? PatchFile::read(*delta) : std::nullopt;
    if (!records) {
        return {};
    }
    const auto& entries = f.newLayout->directory.entries;
    for (const PatchRecord& record : *records) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::optional<QByteArray> truth =
                entryCompressed(*f.next, *f.newLayout, i, 1 << 20);
            const QByteArray sha =
                QCryptographicHash::hash(*truth, QCryptographicHash::Sha256).toHex();
            QByteArray made;
            const bool ok = rebuildEntry(*delta, record, *f.old, *f.oldLayout, entries[i], sha,
                                         [&](const char* data, qint64 size) {
                                             if (made.size() + size > (1 << 22)) {
                                                 return false;
                                             }
                                             made.append(data, size);
                                             return true;
                                         });
            if (ok && made != *truth) {
                return QStringLiteral("entry %1 passed with other bytes")
                    .arg(QString::fromUtf8(entries[i].name));
            }
            rebuilt += ok ? 1 : 0;
        }
    }
    return {};
}

}  // namespace

DeltaRun exerciseDelta(const QByteArray& bytes, const QString& root) {
    const Fixture& f = fixture(root);
    DeltaRun run;
    if (!f.oldLayout || !f.newLayout || !f.honest || !f.key) {
        run.finding = QStringLiteral("the fixture cannot be made");
        return run;
    }
    if (bytes.isEmpty()) {
        return run;
    }
    const QByteArray rest = bytes.mid(1);
    if (bytes[0] == 'i') {
        const QByteArray text = rest + "podpis " + f.key->sign(rest).toBase64() + '\n';
        if (const auto index = readReleaseIndex(text, "fuzz", {f.key->publicKey()})) {
            run.rebuilt = index->deltaFrom(index->archive) != nullptr ? 1 : 0;
        }
    } else if (bytes[0] == 'p') {
        run.finding = checkPatch(rest, f);
    } else {
        run.finding = checkDelta(rest, root, f, run.rebuilt);
    }
    return run;
}

QByteArray deltaSeed(char kind, const QString& root) {
    const Fixture& f = fixture(root);
    if (!f.honest) {
        return {};
    }
    if (kind == 'i') {
        ReleaseIndex index;
        index.product = "fuzz";
        index.archive = QByteArray(64, 'a');
        index.deflate = "zlib";
        index.entries = f.honest->hashes;
        index.deltas = {{index.archive, "x.delta", 10, QByteArray(64, 'b')}};
        return 'i' + index.signedText();
    }
    if (kind == 'p') {
        const std::optional<QByteArray> old = entryContents(*f.old, *f.oldLayout, 0, 1 << 20);
        const std::optional<QByteArray> next = entryContents(*f.next, *f.newLayout, 0, 1 << 20);
        const auto patch =
            smallestPatch({old->constData(), static_cast<std::size_t>(old->size())},
                          {next->constData(), static_cast<std::size_t>(next->size())}, 1 << 30);
        QByteArray out(1, 'p');
        out.append(static_cast<char>(patch->method));
        char size[2];
        qToLittleEndian<quint16>(static_cast<quint16>(next->size()), size);
        return out + QByteArray(size, 2) + patch->bytes;
    }
    return 'd' + f.honest->bytes;
}

}  // namespace selvanix::fuzz
