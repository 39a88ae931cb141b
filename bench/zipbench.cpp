// Extracts an archive below a folder and prints the bytes it stands for:
//   ours   every entry through the archiver's decoding
//   floor  every entry through a bare zlib loop
//   masks  the installer's five masks through the archiver component
//   star   "*.*" through the archiver component, with times and attributes
//   isal   every entry through a bare ISA-L loop (inflate, CRC-32, write)
//   zipbench ours|floor|isal|star|masks ARCHIVE OUTDIR
#include "archive/ArcOutput.h"
#include "archive/BaseArchiver.h"
#include "archive/DirManager.h"
#include "archive/InstallMasks.h"
#include "archive/Pakovna.h"
#include "platform/FileOps.h"
#include "platform/handles/File.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

using namespace selvanix;

namespace {

// The file an entry goes to, with its folder made; nothing for a folder entry.
std::optional<platform::File> createTarget(const QString& outDir, const TDirItem& item) {
    const QString target = outDir + u'/' + item.Name;
    if (item.isFolder()) {
        platform::createFolder(target);
        return std::nullopt;
    }
    platform::createFolder(QFileInfo(target).path());
    return platform::File::open(target, platform::File::Mode::Create);
}

// Where an entry's data begins, behind its local header.
qint64 dataStart(const ArchiveStream& stream, const TDirItem& item) {
    unsigned char local[30];
    stream.readExactly(static_cast<qint64>(item.LocalHeaderOffset), local, 30);
    return static_cast<qint64>(item.LocalHeaderOffset) + 30 + le16(local + 26) + le16(local + 28);
}

qint64 ours(const QString& archive, const QString& outDir) {
    TArcBaseArchiver arc;
    auto stream = ArchiveStream::open(archive);
    if (!stream) {
        return -1;
    }
    arc.openStream(std::move(*stream));
    qint64 total = 0;
    for (int i = 0; i < arc.directory().Count(); ++i) {
        const TDirItem& item = arc.directory().Item(i);
        auto file = createTarget(outDir, item);
        if (!file) {
            continue;
        }
        FileOutput out(*file);
        arc.ExtractItem(i, out);
        total += static_cast<qint64>(item.uncompressedSize());
    }
    return total;
}

// The frame both bare loops share: every file entry gets its target and the offset of its
// data; decode returns the CRC-32 of what it wrote, which is checked here.
template <typename Decode>
qint64 bareLoop(const QString& archive, const QString& outDir, Decode&& decode) {
    auto stream = ArchiveStream::open(archive);
    if (!stream) {
        return -1;
    }
    TArcDirManager dir(*stream, {});
    dir.LoadDir();
    qint64 total = 0;
    for (const TDirItem& item : dir.CDir) {
        auto file = createTarget(outDir, item);
        if (!file) {
            continue;
        }
        if (decode(*stream, item, *file, dataStart(*stream, item)) != item.CentralDir.crc32) {
            std::fprintf(stderr, "CRC mismatch in %s\n", qUtf8Printable(item.Name));
        }
        total += static_cast<qint64>(item.uncompressedSize());
    }
    return total;
}

// The least any extractor has to do: inflate, CRC-32 by zlib, write.
qint64 floorLoop(const QString& archive, const QString& outDir) {
    std::vector<unsigned char> in(1 << 20);
    std::vector<unsigned char> out(1 << 20);
    return bareLoop(
        archive, outDir,
        [&](const ArchiveStream& stream, const TDirItem& item, platform::File& file, qint64 at) {
            qint64 left = static_cast<qint64>(item.compressedSize());
            uLong crc = crc32(0, nullptr, 0);
            z_stream z{};
            inflateInit2(&z, -MAX_WBITS);
            while (left > 0) {
                const qint64 n =
                    stream.readAt(at, reinterpret_cast<char*>(in.data()),
                                  std::min<qint64>(left, static_cast<qint64>(in.size())));
                if (n <= 0) {
                    break;
                }
                at += n;
                left -= n;
                if (item.CompressionMethod == ZipMethod::Stored) {
                    crc = crc32(crc, in.data(), static_cast<uInt>(n));
                    file.write(reinterpret_cast<const char*>(in.data()), n);
                    continue;
                }
                z.next_in = in.data();
                z.avail_in = static_cast<uInt>(n);
                do {
                    z.next_out = out.data();
                    z.avail_out = static_cast<uInt>(out.size());
                    const int rc = inflate(&z, Z_NO_FLUSH);
                    const auto produced = out.size() - z.avail_out;
                    crc = crc32(crc, out.data(), static_cast<uInt>(produced));
                    file.write(reinterpret_cast<const char*>(out.data()),
                               static_cast<qint64>(produced));
                    if (rc != Z_OK) {
                        break;
                    }
                } while (z.avail_out == 0);
            }
            inflateEnd(&z);
            return static_cast<std::uint32_t>(crc);
        });
}

// The same bare loop with ISA-L's inflate and CRC-32.
qint64 isalLoop(const QString& archive, const QString& outDir) {
    std::vector<unsigned char> in(1 << 20);
    std::vector<unsigned char> out(1 << 20);
    auto state = std::make_unique<inflate_state>();
    return bareLoop(
        archive, outDir,
        [&](const ArchiveStream& stream, const TDirItem& item, platform::File& file, qint64 at) {
            qint64 left = static_cast<qint64>(item.compressedSize());
            std::uint32_t crc = 0;
            isal_inflate_init(state.get());
            state->crc_flag = ISAL_DEFLATE;
            while (left > 0) {
                const qint64 n =
                    stream.readAt(at, reinterpret_cast<char*>(in.data()),
                                  std::min<qint64>(left, static_cast<qint64>(in.size())));
                if (n <= 0) {
                    break;
                }
                at += n;
                left -= n;
                if (item.CompressionMethod == ZipMethod::Stored) {
                    crc = crc32_gzip_refl(crc, in.data(), static_cast<std::uint64_t>(n));
                    file.write(reinterpret_cast<const char*>(in.data()), n);
                    continue;
                }
                state->next_in = in.data();
                state->avail_in = static_cast<std::uint32_t>(n);
                do {
                    state->next_out = out.data();
                    state->avail_out = static_cast<std::uint32_t>(out.size());
                    const int rc = isal_inflate(state.get());
                    const auto produced = out.size() - state->avail_out;
                    crc = crc32_gzip_refl(crc, out.data(), produced);
                    file.write(reinterpret_cast<const char*>(out.data()),
                               static_cast<qint64>(produced));
                    if (rc < 0 || state->block_state == ISAL_BLOCK_FINISH) {
                        break;
                    }
                } while (state->avail_out == 0 || state->avail_in > 0);
            }
            return crc;
        });
}

// Everything, as the archiver component extracts it.
qint64 star(const QString& archive, const QString& outDir) {
    TPakovna arc;
    arc.FileName = archive;
    arc.OpenArchive(0);
    arc.BaseDir = outDir;
    arc.ExtractFiles(QStringLiteral("*.*"), DefaultSearchAttr, QString());
    arc.CloseArchive();
    return 0;
}

// As the installer does it for one target: four masks into the target, one into its pts.
qint64 masks(const QString& archive, const QString& outDir) {
    TPakovna arc;
    arc.FileName = archive;
    arc.OpenArchive(0);
    for (const InstallMask& m : kInstallMasks) {
        arc.BaseDir = m.below(outDir);
        arc.ExtractFiles(QString::fromLatin1(m.mask), DefaultSearchAttr, QString());
    }
    arc.CloseArchive();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zipbench ours|floor|isal|star|masks ARCHIVE OUTDIR\n");
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString archive = QString::fromLocal8Bit(argv[2]);
    const QString outDir = QString::fromLocal8Bit(argv[3]);
    const qint64 total = mode == u"ours"    ? ours(archive, outDir)
                         : mode == u"masks" ? masks(archive, outDir)
                         : mode == u"star"  ? star(archive, outDir)
                         : mode == u"isal"  ? isalLoop(archive, outDir)
                                            : floorLoop(archive, outDir);
    if (total < 0) {
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(total));
    return 0;
}
