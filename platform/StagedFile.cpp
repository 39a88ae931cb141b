#include "StagedFile.h"

#include "FaultPoint.h"
#include "FileOps.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

namespace selvanix::platform {

namespace {

// NAME_MAX less the dot, the tag, its dot and ".tmp".
constexpr qsizetype kLeafKept = 255 - 1 - 16 - 1 - 4 - 1;

}  // namespace

QByteArray temporaryName(const QByteArray& leaf, const QByteArray& tag) {
    return '.' + leaf.left(kLeafKept) + '.' + tag + ".tmp";
}

QByteArray randomTag() {
    return QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0');
}

StagedFile::StagedFile(const FolderHandle& folder, File file, QByteArray leaf, QByteArray name)
    : folder_(&folder), file_(std::move(file)), leaf_(std::move(leaf)), name_(std::move(name)) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : owned_(std::move(other.owned_)),
      folder_(owned_ ? &*owned_ : other.folder_),
      file_(std::move(other.file_)),
      leaf_(std::move(other.leaf_)),
      name_(std::move(other.name_)),
      done_(other.done_) {
    other.done_ = true;
}

std::optional<StagedFile> StagedFile::create(const FolderHandle& folder, const QByteArray& leaf,
                                             const QByteArray& tag) {
    if (leaf.isEmpty() || leaf.contains('/')) {
        return std::nullopt;
    }
    const QByteArray name = temporaryName(leaf, tag);
    fileStep();
    std::optional<File> file = folder.createFile(name);
    if (!file && errno == EEXIST && folder.remove(name)) {
        file = folder.createFile(name);
    }
    if (!file) {
        return std::nullopt;
    }
    return StagedFile(folder, std::move(*file), leaf, name);
}

std::optional<StagedFile> StagedFile::beside(const QString& hostPath) {
    const QFileInfo info(hostPath);
    std::optional<FolderHandle> folder =
        FolderHandle::openHost(QFile::encodeName(info.absolutePath()));
    std::optional<StagedFile> staged =
        folder ? create(*folder, QFile::encodeName(info.fileName())) : std::nullopt;
    if (staged) {
        staged->owned_ = std::move(folder);
        staged->folder_ = &*staged->owned_;
    }
    return staged;
}

StagedFile::~StagedFile() {
    if (!done_) {
        file_.close();
        folder_->remove(name_);
    }
}

bool StagedFile::commit() {
    if (done_ || !file_.close()) {
        return false;
    }
    fileStep();
    if (!folder_->rename(name_, leaf_)) {
        const int error = lastError();
        folder_->remove(name_);
        setLastError(error);
        done_ = true;
        return false;
    }
    done_ = true;
    return true;
}

bool StagedFile::keep() {
    if (done_ || !file_.close()) {
        return false;
    }
    done_ = true;
    return true;
}

}  // namespace selvanix::platform
