#include "AssemblyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>

#include "net/BodyFile.h"
#include "platform/FileOps.h"
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

namespace selvanix {

namespace {

using net::RangeSource;
using Outcome = net::BodyAssembly::Outcome;

// The state is written down after this many newly fetched bytes, and at every stop.
constexpr qint64 kCheckpointBytes = 8LL << 20;
constexpr qint64 kMaxStateBytes = 1 << 20;

}  // namespace

QByteArray privateLeaf(const QString& name, const char* suffix) {
    return '.' + QFile::encodeName(name) + suffix;
}

QByteArray assemblyName(const QString& name) {
    return privateLeaf(name, ".assembly");
}

QByteArray assemblyStateName(const QString& name) {
    return privateLeaf(name, ".assembly-state");
}

std::optional<AssemblyFile> AssemblyFile::open(const platform::FolderHandle& folder,
                                               const QString& name, AssemblyState wanted) {
    const QByteArray fileName = assemblyName(name);
    const QByteArray stateName = assemblyStateName(name);
    // What an earlier run left is taken only when it is ours, for this very file, and no
    // second name of another file, which the writes would change too.
    std::optional<platform::File> file = folder.openForUpdate(fileName);
    struct stat st {};
    if (file && ::fstat(file->descriptor(), &st) == 0 && st.st_uid == ::geteuid() &&
        st.st_nlink == 1 && st.st_size == wanted.size) {
        std::optional<platform::File> stateFile = folder.openForReading(stateName);
        QByteArray text;
        if (stateFile && stateFile->size() <= kMaxStateBytes) {
            text.resize(static_cast<qsizetype>(stateFile->size()));
            text.truncate(static_cast<qsizetype>(
                std::max<qint64>(0, stateFile->readAt(0, text.data(), text.size()))));
        }
        if (std::optional<AssemblyState> left = AssemblyState::fromText(text);
            left && left->sameFile(wanted)) {
            return AssemblyFile(folder, name, std::move(*file), std::move(*left), true);
        }
    }
    file.reset();
    folder.remove(fileName);
    folder.remove(stateName);
    // Private from the first moment: nobody may hold it open for writing.
    file = folder.createFile(fileName, 0600);
    if (!file) {
        return std::nullopt;
    }
    // The room for all of it at once: a disk too small is known before anything is fetched.
    const int laid = ::fallocate(file->descriptor(), 0, 0, wanted.size);
    if ((laid != 0 && errno != EOPNOTSUPP) || !file->resize(wanted.size)) {
        file.reset();
        folder.remove(fileName);
        return std::nullopt;
    }
    AssemblyFile made(folder, name, std::move(*file), std::move(wanted), false);
    made.save();
    return made;
}

bool AssemblyFile::write(qint64 at, const char* data, qint64 size) {
    if (at < 0 || size > state_.size - at ||
        !platform::writeAllAt(file_.descriptor(), data, size, at)) {
        return false;
    }
    state_.done.add(at, size);
    unsaved_ += size;
    if (unsaved_ >= kCheckpointBytes) {
        save();
    }
    return true;
}

void AssemblyFile::accept(qint64 at, qint64 size) {
    state_.done.add(at, size);
    unsaved_ += size;
}

bool AssemblyFile::copy(const platform::File& from, qint64 fromAt, qint64 at, qint64 size) {
    return platform::copyAllAt(from.descriptor(), fromAt, file_.descriptor(), at, size);
}

QByteArray AssemblyFile::read(qint64 at, qint64 size) const {
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    bytes.truncate(
        static_cast<qsizetype>(std::max<qint64>(0, file_.readAt(at, bytes.data(), size))));
    return bytes;
}

void AssemblyFile::save() {
    unsaved_ = 0;
    if (std::optional<platform::StagedFile> staged =
            platform::StagedFile::create(folder_, assemblyStateName(name_))) {
        if (staged->file().write(state_.toText())) {
            staged->commit();
        }
    }
}

void AssemblyFile::discard() {
    folder_.remove(assemblyName(name_));
    folder_.remove(assemblyStateName(name_));
}

std::unique_ptr<net::BodyFile> AssemblyFile::finish() {
    std::optional<platform::File> file = file_.duplicate();
    if (!file) {
        return nullptr;
    }
    file->setPermissions(0666 & ~platform::processUmask());
    folder_.remove(assemblyStateName(name_));
    std::optional<platform::StagedFile> staged =
        platform::StagedFile::adopt(folder_, std::move(*file), assemblyName(name_));
    return staged ? net::BodyFile::adopt(std::move(*staged)) : nullptr;
}

// Whether an entry's compressed data gives its recorded CRC-32 and size.

std::optional<Outcome> fetchInto(AssemblyFile& file, const std::vector<net::ByteRange>& wanted,
                                 qint64 saves, RangeSource& ranges) {
    std::vector<net::ByteRange> missing;
    for (const net::ByteRange& r : wanted) {
        for (const net::ByteRange& m : file.done().missing(r.at, r.length)) {
            missing.push_back(m);
        }
    }
    if (missing.empty()) {
        return std::nullopt;
    }
    qint64 bytes = 0;
    for (const net::ByteRange& m : missing) {
        bytes += m.length;
    }
    ranges.expect(bytes);
    const auto sink = [&](qint64 at, const char* data, std::size_t size) {
        return file.write(at, data, static_cast<qint64>(size));
    };
    switch (ranges.fetch(missing, saves, sink)) {
        case RangeSource::Result::Done:
            for (const net::ByteRange& m : missing) {
                if (!file.done().missing(m.at, m.length).empty()) {
                    file.save();
                    return Outcome{};
                }
            }
            return std::nullopt;
        case RangeSource::Result::Changed:
            file.discard();  // another file now: nothing of this one is worth keeping
            return Outcome{};
        case RangeSource::Result::Failed:
            file.save();
            return Outcome{};
        case RangeSource::Result::Stopped:
            break;
    }
    file.save();
    Outcome stopped;
    stopped.stopped = true;
    return stopped;
}

}  // namespace selvanix
