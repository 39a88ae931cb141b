#include "ResumableDownload.h"

#include "AssemblyFile.h"
#include "net/BodyFile.h"
#include "platform/handles/FolderHandle.h"

#include <QCryptographicHash>
#include <QFile>

namespace selvanix {

namespace {

using Outcome = net::BodyAssembly::Outcome;

class ResumableDownload final : public net::BodyAssembly {
public:
    ResumableDownload(platform::FolderHandle folder, QString name)
        : folder_(std::move(folder)), name_(std::move(name)) {}

    qint64 tailLength() const override { return kTail; }

    Outcome assemble(const net::RemoteFile& remote, net::RangeSource& ranges) override {
        const QByteArray& tail = remote.tail;
        const qint64 tailFrom = remote.size - tail.size();
        if (tailFrom < 0) {
            return {};
        }
        std::optional<AssemblyFile> file =
            AssemblyFile::open(folder_, name_, AssemblyState::of(remote));
        if (!file) {
            return {};
        }
        // What an earlier run fetched before the tail, which does not come again.
        qint64 held = tailFrom;
        for (const net::ByteRange& m : file->done().missing(0, tailFrom)) {
            held -= m.length;
        }
        if (!file->write(tailFrom, tail.constData(), tail.size())) {
            return {};
        }
        // Worth one request whatever it holds: every byte that comes as a range survives a cut.
        // A file no larger than the tail is whole already.
        if (std::optional<Outcome> ended =
                tailFrom == 0 ? std::nullopt
                              : fetchInto(*file, {{0, tailFrom}}, remote.size, ranges)) {
            return std::move(*ended);
        }
        Outcome done;
        done.reused = held;
        done.body = file->finish();
        return done;
    }

private:
    static constexpr qint64 kTail = 65536;

    platform::FolderHandle folder_;
    QString name_;
};

}  // namespace

std::shared_ptr<net::BodyAssembly> resumableDownload(const QString& hostFolder,
                                                     const QString& name) {
    std::optional<platform::FolderHandle> folder =
        platform::FolderHandle::openHost(QFile::encodeName(hostFolder));
    return folder ? std::make_shared<ResumableDownload>(std::move(*folder), name) : nullptr;
}

void forgetResumable(const QString& hostFolder, const QString& name) {
    if (const std::optional<platform::FolderHandle> folder =
            platform::FolderHandle::openHost(QFile::encodeName(hostFolder))) {
        folder->remove(assemblyName(name));
        folder->remove(assemblyStateName(name));
    }
}

}  // namespace selvanix
