#pragma once

// Two releases of one package as a publisher's rebuild makes them: in the second every entry
// has a new time, every tenth changed, one is gone and one is new.
#include "archive/EntryDeflate.h"
#include "archive/ZipDirectory.h"
#include "support/SamplePackage.h"
#include "support/ZipWriter.h"

#include <QByteArray>
#include <cstdint>

namespace selvanix::test {

struct ReleaseOptions {
    bool derivedHeaders = true;  // as the publisher's tool writes them; else another archiver's
    int entries = 40;
    qsizetype largeEntry = 0;      // an incompressible entry of this size, changed in release 2
    qsizetype largeUnchanged = 0;  // and one the same in both
};

// Incompressible bytes, the same for the same seed.
inline QByteArray noise(std::uint32_t seed, qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

inline bool changedIn2(int i) {
    return i % 10 == 3;
}

// The compressed bytes of the entries release 2 changed or added.
inline qint64 changedBytes(const QByteArray& two) {
    qint64 sum = 0;
    for (const ZipRecord& r : readZipTail(two, two.size()).directory.entries) {
        const bool mod =
            r.name.startsWith("lib/mod") && changedIn2(r.name.mid(7, r.name.size() - 11).toInt());
        if (mod || r.name == "lib/new.dll" || r.name == "data/large.sql") {
            sum += static_cast<qint64>(r.compressedSize);
        }
    }
    return sum;
}

inline QByteArray releaseArchive(int release, const ReleaseOptions& o = {}) {
    ZipWriter zip;
    const std::uint16_t time = release == 1 ? 0x6000 : 0x6123;
    const auto add = [&](const QByteArray& name, const QByteArray& data, int i) {
        ZipEntry e;
        e.name = name;
        e.data = data;
        e.time = time;
        e.method = data.isEmpty() ? 0 : 8;
        // Compressed the publisher's way, so a delta's rebuilt entries come out the same.
        if (e.method == 8) {
            e.compressed =
                deflateWhole(data, deflateWholeBound(data.size())).value_or(QByteArray());
        }
        if (!o.derivedHeaders) {
            // Another archiver's habits: a timestamp extra field and, now and then, sizes in a
            // descriptor after the data.
            e.extra = extraBlock(0x5455, QByteArray("\x01", 1) + QByteArray(4, char(time & 0xFF)));
            e.dataDescriptor = i % 4 == 1;
        }
        zip.entries.push_back(e);
    };
    add("brodelik.exe", kProgram, 0);
    for (int i = 1; i < o.entries; ++i) {
        if (release == 2 && i == 5) {
            continue;
        }
        const std::uint32_t seed =
            static_cast<std::uint32_t>(i) + (release == 2 && changedIn2(i) ? 1000 : 0);
        const QByteArray data =
            i % 3 == 0 ? noise(seed, 20000 + i * 500)
                       : QByteArray("line ").repeated(1000 + i * 50) + QByteArray::number(seed);
        add("lib/mod" + QByteArray::number(i) + ".dll", data, i);
    }
    if (o.largeEntry > 0) {
        add("data/large.sql", noise(release == 1 ? 7 : 8, o.largeEntry), 2);
    }
    if (o.largeUnchanged > 0) {
        add("data/base.sql", noise(9, o.largeUnchanged), 4);
    }
    if (release == 2) {
        add("lib/new.dll", noise(4242, 30000), 3);
    }
    if (o.derivedHeaders) {
        zip.comment = kDerivedHeadersComment;
    }
    return zip.build();
}

}  // namespace selvanix::test
