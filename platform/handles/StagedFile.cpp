#include "StagedFile.h"

#include "platform/FaultPoint.h"
#include "platform/FileOps.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <atomic>
#include <cerrno>

namespace selvanix::platform {

namespace {

// NAME_MAX less the dot, the tag, its dot and ".tmp".
constexpr qsizetype kLeafRoom = 255 - 1 - 16 - 1 - 4 - 1;

// A leaf that fills the room is shortened to the room exactly, its end a hash of the whole;
// every leaf kept as it is is shorter, so the two kinds never meet.
QByteArray leafPart(const QByteArray& leaf) {
    if (leaf.size() < kLeafRoom) {
        return leaf;
    }
    const QByteArray hash =
        QCryptographicHash::hash(leaf, QCryptographicHash::Sha256).toHex().left(32);
    return leaf.left(kLeafRoom - hash.size() - 1) + '~' + hash;
}

std::atomic<long> keptOpen{0};

// Half the descriptors the process may have, so downloads and folders still get theirs.
long openBudget() {
    static const long budget = [] {
        struct rlimit limit {};
        return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                   ? static_cast<long>(limit.rlim_cur / 2)
                   : 512L;
    }();
    return budget;
}

}  // namespace

bool stillStaged(const StagedIdentity& file, const FolderHandle& folder, const QByteArray& name) {
    const std::optional<struct stat> now = folder.status(name);
    if (!now || !S_ISREG(now->st_mode) || now->st_dev != file.device || now->st_ino != file.inode ||
        now->st_size != file.size) {
        return false;
    }
    struct stat held {};
    if (file.open) {
        // Removed and another file made under the name: the open file has no name left.
        return ::fstat(file.open->descriptor(), &held) == 0 && held.st_nlink > 0;
    }
    return now->st_ctim.tv_sec == file.changed.tv_sec &&
           now->st_ctim.tv_nsec == file.changed.tv_nsec;
}

QByteArray temporaryName(const QByteArray& leaf, const QByteArray& tag) {
    return '.' + leafPart(leaf) + '.' + tag + ".tmp";
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
      identity_(other.identity_),
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

std::optional<StagedFile> StagedFile::owning(const FolderHandle& folder, File file, QByteArray leaf,
                                             QByteArray name) {
    std::optional<FolderHandle> own = folder.reopen();
    if (!own) {
        // Without a handle to hold the name by, the name goes now.
        if (!name.isEmpty()) {
            folder.remove(name);
        }
        return std::nullopt;
    }
    StagedFile staged(*own, std::move(file), std::move(leaf), std::move(name));
    staged.owned_ = std::move(own);
    staged.folder_ = &*staged.owned_;
    return staged;
}

std::optional<StagedFile> StagedFile::unnamed(const FolderHandle& folder, const QByteArray& what) {
    if (std::optional<File> file = folder.createUnnamed(0666)) {
        return owning(folder, std::move(*file), QByteArray(), QByteArray());
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray name = temporaryName(what, randomTag());
        if (std::optional<File> file = folder.createFile(name)) {
            return owning(folder, std::move(*file), QByteArray(), name);
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return std::nullopt;
}

std::optional<StagedFile> StagedFile::adopt(const FolderHandle& folder, File file,
                                            const QByteArray& name) {
    return owning(folder, std::move(file), QByteArray(), name);
}

std::optional<StagedFile> StagedFile::secondName(const FolderHandle& folder,
                                                 const QByteArray& existing,
                                                 const QByteArray& leaf) {
    const QByteArray name = temporaryName(leaf, randomTag());
    if (leaf.isEmpty() || leaf.contains('/') || !folder.linkHere(existing, name)) {
        return std::nullopt;
    }
    std::optional<File> file = folder.openForReading(name);
    if (!file) {
        folder.remove(name);
        return std::nullopt;
    }
    return StagedFile(folder, std::move(*file), leaf, name);
}

std::optional<File> StagedFile::privateFile(const FolderHandle& folder) {
    if (std::optional<File> file = folder.createUnnamed(0600)) {
        return file;
    }
    // A name of its own for a moment only: gone before anything is written.
    const QByteArray name = temporaryName("private", randomTag());
    std::optional<File> file = folder.createFile(name, 0600);
    if (file && !folder.remove(name)) {
        return std::nullopt;
    }
    return file;
}

StagedFile::~StagedFile() {
    if (!done_) {
        file_.close();
        if (!name_.isEmpty()) {
            folder_->remove(name_);
        }
    }
}

bool StagedFile::commitAs(const QByteArray& leaf) {
    if (leaf.isEmpty() || leaf.contains('/')) {
        return false;
    }
    leaf_ = leaf;
    return commit();
}

bool StagedFile::commit() {
    if (done_ || leaf_.isEmpty()) {
        return false;
    }
    // An unnamed file gets a temporary name first: a new name never replaces what is there.
    if (name_.isEmpty()) {
        const QByteArray name = temporaryName(leaf_, randomTag());
        if (!folder_->name(file_, name)) {
            return false;
        }
        name_ = name;
    }
    if (!file_.close()) {
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
    struct stat st {};
    if (done_ || name_.isEmpty() || ::fstat(file_.descriptor(), &st) != 0) {
        return false;
    }
    identity_ = {st.st_dev, st.st_ino, st.st_size, st.st_ctim, nullptr};
    if (keptOpen.fetch_add(1) < openBudget()) {
        identity_.open = std::shared_ptr<const File>(new File(std::move(file_)), [](const File* f) {
            delete f;
            keptOpen.fetch_sub(1);
        });
    } else {
        keptOpen.fetch_sub(1);
        if (!file_.close()) {
            return false;
        }
    }
    done_ = true;
    return true;
}

}  // namespace selvanix::platform
