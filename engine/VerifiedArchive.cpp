#include "VerifiedArchive.h"

#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>

namespace selvanix {

namespace {

// Only this user (or root) could write it: owned by us, no group or other write bit.
bool onlyOursToChange(const platform::File& file) {
    struct stat st {};
    return ::fstat(file.descriptor(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 022) == 0 && st.st_nlink == 1;
}

std::optional<platform::File> privateFileIn(const QString& hostFolder) {
    const std::optional<platform::FolderHandle> folder =
        platform::FolderHandle::openHost(QFile::encodeName(hostFolder));
    return folder ? platform::StagedFile::privateFile(*folder) : std::nullopt;
}

}  // namespace

std::optional<VerifiedArchive> openVerifiedArchive(const QString& path) {
    std::optional<platform::File> source = platform::File::openRegular(path);
    if (!source) {
        return std::nullopt;
    }
    const bool direct = onlyOursToChange(*source);
    // Unnamed, so private even in a folder others may write; beside the program rather than
    // in a temporary folder that may be memory.
    std::optional<platform::File> copy;
    if (!direct) {
        copy = privateFileIn(platform::toHostPath(platform::installerFolder()));
    }
    if (!direct && !copy) {
        copy = privateFileIn(QDir::tempPath());
    }
    if (!direct && !copy) {
        return std::nullopt;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 offset = 0;;) {
        const qint64 n = source->readAt(offset, block.data(), block.size());
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        hash.addData(QByteArrayView(block.constData(), n));
        if (copy && !platform::writeAllAt(copy->descriptor(), block.constData(), n, offset)) {
            return std::nullopt;
        }
        offset += n;
    }
    platform::File& kept = copy ? *copy : *source;
    return VerifiedArchive{std::make_shared<const platform::File>(std::move(kept)),
                           hash.result().toHex()};
}

}  // namespace selvanix
