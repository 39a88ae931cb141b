#include "PrivateProfile.h"

#include "ProfileText.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/handles/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace selvanix {

namespace {

enum class LoadResult { Loaded, Missing, Failed };

LoadResult load(const QString& fileName, ProfileText& profile,
                platform::LinkAtName links = platform::LinkAtName::Follow) {
    const QString host = platform::toHostPath(fileName);
    if (host.isEmpty()) {
        platform::setLastError(3);
        return LoadResult::Failed;
    }
    const int flags = O_RDONLY | O_CLOEXEC |
                      (links == platform::LinkAtName::Replace ? O_NOFOLLOW | O_NONBLOCK : 0);
    const int fd = ::open(QFile::encodeName(host).constData(), flags);
    if (fd < 0) {
        if (errno == ENOENT) {
            return LoadResult::Missing;
        }
        if (errno == ELOOP && links == platform::LinkAtName::Replace) {
            return LoadResult::Missing;  // a link is replaced, its target never read
        }
        platform::setLastError(5);
        return LoadResult::Failed;
    }
    QFile file;
    struct stat st {};
    const bool opened = file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (!opened) {
        ::close(fd);
    }
    if (!opened || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        platform::setLastError(5);
        return LoadResult::Failed;
    }
    if (links == platform::LinkAtName::Replace &&
        (!S_ISREG(st.st_mode) || platform::isForeignLink(st))) {
        return LoadResult::Missing;  // not a file of the folder's own: replaced, never read
    }
    // Bounded whatever the file claims or becomes while it is read.
    const QByteArray bytes =
        st.st_size > kMaxProfileBytes ? QByteArray() : file.read(kMaxProfileBytes + 1);
    if (st.st_size > kMaxProfileBytes || bytes.size() > kMaxProfileBytes) {
        platform::setLastError(8);
        return LoadResult::Failed;
    }
    if (file.error() != QFileDevice::NoError) {
        platform::setLastError(1117);
        return LoadResult::Failed;
    }
    profile = ProfileText::decode(bytes);
    return LoadResult::Loaded;
}

// The last file written, with its changes not yet on disk: one save of many keys is one
// rewrite of the file, as the system's own profile functions do it.
struct PendingProfile {
    QString fileName;
    platform::LinkAtName links;
    ProfileText text;
    bool dirty;
};

std::mutex& pendingLock() {
    static std::mutex lock;
    return lock;
}

std::optional<PendingProfile>& pendingProfile() {
    static std::optional<PendingProfile> pending;
    return pending;
}

// Writes what is pending (under the lock); true when there was nothing or it was written.
bool flushPending() {
    std::optional<PendingProfile>& pending = pendingProfile();
    bool written = true;
    if (pending && pending->dirty) {
        written = platform::replaceFileAtomically(pending->fileName, pending->text.encode(),
                                                  platform::Durability::Flushed, pending->links);
    }
    pending.reset();
    return written;
}

void flushAtExit() {
    const std::lock_guard guard(pendingLock());
    flushPending();
}

int copyList(const QStringList& names, QChar* buffer, int size) {
    if (size <= 0) {
        return 0;
    }
    if (size == 1) {
        buffer[0] = QChar(0);
        return 0;
    }
    QString list;
    for (const QString& name : names) {
        list += name;
        list += QChar(0);
    }
    // A list that reaches size - 2 units counts as cut, as callers test for that result.
    if (list.size() >= size - 2 && !list.isEmpty()) {
        std::copy_n(list.constData(), size - 2, buffer);
        buffer[size - 2] = QChar(0);
        buffer[size - 1] = QChar(0);
        return size - 2;
    }
    std::copy_n(list.constData(), list.size(), buffer);
    buffer[list.size()] = QChar(0);
    return static_cast<int>(list.size());
}

int copyValue(const QString& value, QChar* buffer, int size) {
    if (size <= 0) {
        return 0;
    }
    const int length = std::min(static_cast<int>(value.size()), size - 1);
    std::copy_n(value.constData(), length, buffer);
    buffer[length] = QChar(0);
    return length;
}

}  // namespace

int GetPrivateProfileStringW(const std::optional<QString>& section,
                             const std::optional<QString>& key,
                             const std::optional<QString>& defaultValue, QChar* buffer, int size,
                             const QString& fileName) {
    ProfileText profile;
    bool loaded = false;
    {
        // Pending changes of this file are what a read sees; another file's go to disk first.
        const std::lock_guard guard(pendingLock());
        std::optional<PendingProfile>& pending = pendingProfile();
        if (pending && pending->fileName == fileName) {
            profile = pending->text;
            loaded = true;
        } else if (pending) {
            flushPending();
        }
    }
    if (!loaded) {
        loaded = load(fileName, profile) == LoadResult::Loaded;
    }
    if (!section) {
        return copyList(loaded ? profile.sectionNames() : QStringList(), buffer, size);
    }
    if (!key) {
        return copyList(loaded ? profile.keys(*section) : QStringList(), buffer, size);
    }
    std::optional<QString> value;
    if (loaded) {
        value = profile.value(ProfileText::trimmedName(*section), ProfileText::trimmedName(*key));
    }
    if (!value) {
        value = ProfileText::readAsDefault(defaultValue.value_or(QString()));
    }
    return copyValue(*value, buffer, size);
}

bool WritePrivateProfileStringW(const std::optional<QString>& section,
                                const std::optional<QString>& keyName,
                                const std::optional<QString>& value, const QString& fileName,
                                platform::LinkAtName links) {
    // Names are trimmed as reads trim them, so a key written with blanks around it is found.
    const std::optional<QString> key =
        keyName ? std::optional<QString>(ProfileText::trimmedName(*keyName)) : std::nullopt;
    const std::lock_guard guard(pendingLock());
    if (!section) {
        return (key || value) ? false : flushPending();
    }
    const bool valid = ProfileText::isWritableSection(*section) &&
                       (!key || ProfileText::isWritableKey(*key)) &&
                       (!value || ProfileText::isWritableValue(*value));
    if (!valid) {
        platform::setLastError(87);
        return false;
    }
    std::optional<PendingProfile>& pending = pendingProfile();
    if (pending && (pending->fileName != fileName || pending->links != links)) {
        flushPending();  // another file's turn: what was pending goes to disk first
    }
    if (!pending) {
        ProfileText profile;
        if (load(fileName, profile, links) == LoadResult::Failed) {
            return false;  // never replace content we could not read
        }
        // Refused now rather than when the changes are written: the caller learns it here.
        if (!platform::canReplaceFile(fileName, links)) {
            return false;
        }
        pending = PendingProfile{fileName, links, std::move(profile), false};
        static const bool flushedAtExit = [] { return std::atexit(flushAtExit) == 0; }();
        (void)flushedAtExit;
    }
    const bool changed = !key     ? pending->text.eraseSection(*section)
                         : !value ? pending->text.removeKey(*section, *key)
                                  : pending->text.setValue(*section, *key, *value);
    pending->dirty = pending->dirty || changed;
    return true;
}

}  // namespace selvanix
