#include "ArchiveDelta.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QFile>

#include "AssemblyFile.h"
#include "AssemblyState.h"
#include "archive/Crc32.h"
#include "archive/Inflater.h"
#include "archive/ZipRecords.h"
#include "config/Signature.h"
#include "net/BodyFile.h"
#include "platform/OwnerRule.h"
#include "platform/handles/File.h"
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

namespace selvanix {

namespace {

using net::RangeSource;
using Outcome = net::BodyAssembly::Outcome;

bool passesCrc(const platform::File& file, qint64 at, const ZipRecord& r) {
    Crc32 crc;
    std::uint64_t produced = 0;
    QByteArray in(1 << 18, Qt::Uninitialized);
    QByteArray out(1 << 18, Qt::Uninitialized);
    Inflater inflater;
    bool ended = r.method == ZipMethod::Stored && r.compressedSize == 0;
    for (std::uint64_t left = r.compressedSize; left > 0;) {
        const qint64 n = file.readAt(at, in.data(), std::min<qint64>(in.size(), left));
        if (n <= 0) {
            return false;
        }
        at += n;
        left -= static_cast<std::uint64_t>(n);
        if (r.method == ZipMethod::Stored) {
            crc.update(in.constData(), static_cast<std::size_t>(n));
            produced += static_cast<std::uint64_t>(n);
            ended = left == 0;
            continue;
        }
        inflater.setInput(reinterpret_cast<const unsigned char*>(in.constData()),
                          static_cast<std::size_t>(n));
        do {
            const Inflater::Step step =
                inflater.inflate(reinterpret_cast<unsigned char*>(out.data()), out.size());
            if (step.failed || produced + step.produced > r.size) {
                return false;
            }
            crc.update(out.constData(), step.produced);
            produced += step.produced;
            ended = ended || step.ended;
            if (step.ended || (step.produced == 0 && inflater.inputLeft() == 0)) {
                break;
            }
        } while (true);
    }
    return ended && produced == r.size && crc.value() == r.crc;
}

class ArchiveDelta final : public net::BodyAssembly {
public:
    ArchiveDelta(platform::FolderHandle folder, QString hostFolder, QString name,
                 platform::File kept, ZipLayout layout, ArchiveHashCheck check, qint64 mergeGap,
                 std::shared_ptr<const VerifiedDelta> delta)
        : folder_(std::move(folder)),
          hostFolder_(std::move(hostFolder)),
          name_(std::move(name)),
          kept_(std::move(kept)),
          layout_(std::move(layout)),
          check_(std::move(check)),
          mergeGap_(mergeGap),
          delta_(std::move(delta)) {}

    qint64 tailLength() const override { return deltaTailLength(layout_); }

    Outcome assemble(const net::RemoteFile& remote, RangeSource& ranges) override;

private:
    static std::optional<ZipDirectory> directory(const net::RemoteFile& remote,
                                                 const QByteArray& tail);
    std::vector<int> usableMatches(const ZipDirectory& next) const;
    std::function<std::optional<qint64>(std::size_t)> fetchedHeaders(
        const AssemblyFile& file, const ZipDirectory& next,
        const std::vector<ByteSpan>& probes) const;
    bool reuse(AssemblyFile& file, const DeltaPlan& plan) const;
    bool verified(const AssemblyFile& file, const ZipDirectory& next,
                  const std::vector<int>& matches) const;
    // The entries of next the delta carries, each with its record, and their bytes.
    std::vector<std::pair<std::size_t, const PatchRecord*>> carried(const ZipDirectory& next,
                                                                    const std::vector<int>& matches,
                                                                    qint64 size) const;
    // Rebuilds the carried entries into the file, each header and data accepted only when the
    // data hashed as the index says; the bytes placed that were not there before.
    qint64 rebuild(AssemblyFile& file, const ZipDirectory& next,
                   const std::vector<std::pair<std::size_t, const PatchRecord*>>& entries) const;

    platform::FolderHandle folder_;
    QString hostFolder_;
    QString name_;
    platform::File kept_;
    ZipLayout layout_;
    ArchiveHashCheck check_;
    qint64 mergeGap_;
    std::shared_ptr<const VerifiedDelta> delta_;
};

// The new directory from the tail already fetched alone. A tail whose records point before it
// (a Zip64 locator at offset 0 claiming a file of a terabyte, say) is damaged: nothing is
// fetched, or held, on a server's word of where its directory starts, and the run takes the
// full download.
std::optional<ZipDirectory> ArchiveDelta::directory(const net::RemoteFile& remote,
                                                    const QByteArray& tail) {
    ZipTail read = readZipTail(tail, remote.size);
    return read.state == ZipTail::State::Read ? std::optional(std::move(read.directory))
                                              : std::nullopt;
}

// Entries whose kept data may be used: without a hash to check the result, only data whose
// CRC-32 can be checked (stored or deflated, not encrypted).
std::vector<int> ArchiveDelta::usableMatches(const ZipDirectory& next) const {
    std::vector<int> matches = matchEntries(layout_, next);
    if (!check_) {
        for (std::size_t i = 0; i < matches.size(); ++i) {
            const ZipRecord& r = next.entries[i];
            if ((r.method != ZipMethod::Stored && r.method != ZipMethod::Deflated) ||
                (r.flags & 0x0001) != 0) {
                matches[i] = -1;
            }
        }
    }
    return matches;
}

std::function<std::optional<qint64>(std::size_t)> ArchiveDelta::fetchedHeaders(
    const AssemblyFile& file, const ZipDirectory& next, const std::vector<ByteSpan>& probes) const {
    std::map<qint64, qint64> probed;
    for (const ByteSpan& p : probes) {
        probed.emplace(p.at, p.length);
    }
    return [&file, &next, probed](std::size_t entry) -> std::optional<qint64> {
        const ZipRecord& r = next.entries[entry];
        const auto at = static_cast<qint64>(r.localOffset);
        const auto found = probed.find(at);
        if (found == probed.end()) {
            return std::nullopt;
        }
        return agreeingLocalHeaderLength(file.read(at, found->second), r);
    };
}

bool ArchiveDelta::reuse(AssemblyFile& file, const DeltaPlan& plan) const {
    for (const DeltaSegment& s : plan.segments) {
        if (s.kind == DeltaSegment::Kind::Write &&
            !platform::writeAllAt(file.file().descriptor(), s.bytes.constData(), s.length, s.at)) {
            return false;
        }
        if (s.kind == DeltaSegment::Kind::Copy && !file.copy(kept_, s.from, s.at, s.length)) {
            return false;
        }
    }
    return true;
}

bool ArchiveDelta::verified(const AssemblyFile& file, const ZipDirectory& next,
                            const std::vector<int>& matches) const {
    if (check_) {
        const std::optional<QByteArray> sha = signing::sha256OfFile(file.file());
        return sha && check_(*sha);
    }
    // Reused data, and all of an assembly that went on from an earlier run, by CRC-32.
    for (std::size_t i = 0; i < next.entries.size(); ++i) {
        const ZipRecord& r = next.entries[i];
        const auto at = static_cast<qint64>(r.localOffset);
        const std::optional<qint64> header =
            agreeingLocalHeaderLength(file.read(at, 30 + r.name.size()), r);
        const bool mustPass = matches[i] >= 0 || file.resumed();
        if (!header || (mustPass && !passesCrc(file.file(), at + *header, r))) {
            return false;
        }
    }
    return true;
}

std::vector<std::pair<std::size_t, const PatchRecord*>> ArchiveDelta::carried(
    const ZipDirectory& next, const std::vector<int>& matches, qint64 size) const {
    std::vector<std::pair<std::size_t, const PatchRecord*>> entries;
    // A delta is only ever applied under the signed hash, into headers it can make itself.
    if (!delta_ || !check_ || !next.headersFollowDirectory()) {
        return entries;
    }
    std::map<std::uint64_t, const PatchRecord*> byOffset;
    for (const PatchRecord& r : delta_->records) {
        byOffset.emplace(r.newOffset, &r);
    }
    for (std::size_t i = 0; i < next.entries.size(); ++i) {
        const ZipRecord& r = next.entries[i];
        const auto record = byOffset.find(r.localOffset);
        const auto end =
            static_cast<std::uint64_t>(r.derivedLocalHeader().size()) + r.compressedSize;
        if (matches[i] < 0 && record != byOffset.end() && delta_->hashes.count(r.localOffset) &&
            r.localOffset <= static_cast<std::uint64_t>(size) &&
            end <= static_cast<std::uint64_t>(size) - r.localOffset) {
            entries.emplace_back(i, record->second);
        }
    }
    return entries;
}

qint64 ArchiveDelta::rebuild(
    AssemblyFile& file, const ZipDirectory& next,
    const std::vector<std::pair<std::size_t, const PatchRecord*>>& entries) const {
    qint64 placed = 0;
    for (const auto& [index, record] : entries) {
        const ZipRecord& r = next.entries[index];
        const QByteArray header = r.derivedLocalHeader();
        const auto at = static_cast<qint64>(r.localOffset);
        const qint64 span = header.size() + static_cast<qint64>(r.compressedSize);
        // Bytes already there (the tail, or an earlier run's) are neither rebuilt nor counted.
        qint64 missing = 0;
        for (const net::ByteRange& m : file.done().missing(at, span)) {
            missing += m.length;
        }
        if (missing == 0) {
            continue;
        }
        qint64 written = header.size();
        const int fd = file.file().descriptor();
        const auto out = [&](const char* data, qint64 size) {
            const bool ok = platform::writeAllAt(fd, data, size, at + written);
            written += size;
            return ok;
        };
        if (platform::writeAllAt(fd, header.constData(), header.size(), at) &&
            rebuildEntry(delta_->file, *record, kept_, layout_, r, delta_->hashes.at(r.localOffset),
                         out)) {
            file.accept(at, span);
            placed += missing;
        }
    }
    file.save();
    return placed;
}

Outcome ArchiveDelta::assemble(const net::RemoteFile& remote, RangeSource& ranges) {
    const QByteArray& tail = remote.tail;
    const std::optional<ZipDirectory> next = directory(remote, tail);
    if (!next) {
        return {};
    }
    const qint64 tailFrom = remote.size - tail.size();
    const std::vector<int> matches = usableMatches(*next);
    const auto fromDelta = carried(*next, matches, remote.size);
    if (fromDelta.empty() && !worthAssembling(*next, matches, remote.size)) {
        return {};
    }
    std::optional<AssemblyFile> file =
        AssemblyFile::open(folder_, name_, AssemblyState::of(remote));
    if (!file || !file->write(tailFrom, tail.constData(), tail.size())) {
        return {};
    }
    const qint64 rebuilt = rebuild(*file, *next, fromDelta);
    std::vector<ByteSpan> probes;
    if (!next->headersFollowDirectory()) {
        probes = headerProbes(layout_, *next, matches, tailFrom);
        std::vector<net::ByteRange> wantedProbes;
        for (const ByteSpan& p : probes) {
            wantedProbes.push_back({p.at, p.length});
        }
        if (std::optional<Outcome> ended =
                fetchInto(*file, wantedProbes, matchedBytes(*next, matches), ranges)) {
            return std::move(*ended);
        }
    }
    const DeltaPlan plan = planDelta(layout_, *next, matches, tailFrom,
                                     fetchedHeaders(*file, *next, probes), mergeGap_);
    std::vector<net::ByteRange> fetches;
    for (const DeltaSegment& s : plan.segments) {
        if (s.kind == DeltaSegment::Kind::Fetch) {
            fetches.push_back({s.at, s.length});
        }
    }
    if (!reuse(*file, plan)) {
        file->save();
        return {};
    }
    if (std::optional<Outcome> ended = fetchInto(*file, fetches, plan.reused, ranges)) {
        return std::move(*ended);
    }
    if (!verified(*file, *next, matches)) {
        file->discard();
        return {};
    }
    Outcome done;
    done.reused = plan.reused + rebuilt;
    done.body = file->finish();
    return done;
}

}  // namespace

QByteArray keptArchiveName(const QString& name) {
    return privateLeaf(name, ".kept");
}

void keepArchive(const QString& hostFolder, const QString& name) {
    const std::optional<platform::FolderHandle> folder =
        platform::FolderHandle::openHost(QFile::encodeName(hostFolder));
    if (!folder) {
        return;
    }
    folder->remove(assemblyName(name));
    folder->remove(assemblyStateName(name));
    std::optional<platform::StagedFile> kept =
        platform::StagedFile::secondName(*folder, QFile::encodeName(name), keptArchiveName(name));
    if (!kept || !kept->commit()) {
        folder->remove(keptArchiveName(name));  // an older copy would only mislead
    }
}

std::shared_ptr<net::BodyAssembly> archiveDelta(const QString& hostFolder, const QString& name,
                                                ArchiveHashCheck check, qint64 mergeGap,
                                                std::shared_ptr<const VerifiedDelta> delta) {
    std::optional<platform::FolderHandle> folder =
        platform::FolderHandle::openHost(QFile::encodeName(hostFolder));
    std::optional<platform::File> kept =
        folder ? folder->openForReading(keptArchiveName(name)) : std::nullopt;
    struct stat st {};
    if (!kept || ::fstat(kept->descriptor(), &st) != 0) {
        return nullptr;
    }
    // Unchecked bytes are taken only from a file nobody else may have written, in a folder
    // nobody else may change: as root, neither the group nor others.
    const platform::OwnerRule rule = platform::OwnerRule::forProcess();
    struct stat in {};
    if (!check && (st.st_uid != ::geteuid() || !rule.safe(st) ||
                   ::fstat(folder->descriptor(), &in) != 0 || !rule.safe(in))) {
        return nullptr;
    }
    std::optional<ZipLayout> layout = readZipLayout(*kept);
    if (!layout) {
        return nullptr;
    }
    return std::make_shared<ArchiveDelta>(std::move(*folder), hostFolder, name, std::move(*kept),
                                          std::move(*layout), std::move(check), mergeGap,
                                          std::move(delta));
}

}  // namespace selvanix
