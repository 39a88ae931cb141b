#pragma once

#include "AssemblyState.h"
#include "net/BodyAssembly.h"
#include "platform/handles/File.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace selvanix {

namespace net {
class BodyFile;
}
namespace platform {
class FolderHandle;
}

// A private name beside a download NAME in its folder: "." NAME suffix.
QByteArray privateLeaf(const QString& name, const char* suffix);
// An assembly in progress, and what of it is done.
QByteArray assemblyName(const QString& name);       // ".NAME.assembly"
QByteArray assemblyStateName(const QString& name);  // ".NAME.assembly-state"

// The file being assembled, under its private name, and the record of what it holds.
class AssemblyFile {
public:
    static std::optional<AssemblyFile> open(const platform::FolderHandle& folder,
                                            const QString& name, AssemblyState wanted);

    bool write(qint64 at, const char* data, qint64 size);
    // Bytes written at at without write(), now known good: they count as done.
    void accept(qint64 at, qint64 size);
    bool copy(const platform::File& from, qint64 fromAt, qint64 at, qint64 size);
    QByteArray read(qint64 at, qint64 size) const;
    const ByteIntervals& done() const { return state_.done; }
    // Bytes of an earlier run are in it: written, but perhaps not all on the disk.
    bool resumed() const { return resumed_; }
    const platform::File& file() const { return file_; }
    void save();
    void discard();
    // The whole file, for publishing under the archive's name; the record of it goes.
    std::unique_ptr<net::BodyFile> finish();

private:
    AssemblyFile(const platform::FolderHandle& folder, const QString& name, platform::File file,
                 AssemblyState state, bool resumed)
        : folder_(folder),
          name_(name),
          file_(std::move(file)),
          state_(std::move(state)),
          resumed_(resumed) {}

    const platform::FolderHandle& folder_;
    QString name_;
    platform::File file_;
    AssemblyState state_;
    bool resumed_;
    qint64 unsaved_ = 0;
};

// Fetches the bytes of wanted the file does not hold yet into it; nullopt when all of them
// arrived, otherwise what the download comes to (the file's record saved, or discarded when
// the remote file changed). saves: what the assembly spares, for the ranges' cost.
std::optional<net::BodyAssembly::Outcome> fetchInto(AssemblyFile& file,
                                                    const std::vector<net::ByteRange>& wanted,
                                                    qint64 saves, net::RangeSource& ranges);

}  // namespace selvanix
