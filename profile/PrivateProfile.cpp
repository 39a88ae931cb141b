#include "PrivateProfile.h"

#include "ProfileText.h"
#include "platform/AtomicFile.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

namespace selvanix {

namespace {

enum class LoadResult { Loaded, Missing, Failed };

LoadResult load(const QString& fileName, ProfileText& profile) {
    const QString host = platform::toHostPath(fileName);
    if (host.isEmpty()) {
        platform::setLastError(3);
        return LoadResult::Failed;
    }
    const QFileInfo info(host);
    if (!info.exists()) {
        return LoadResult::Missing;
    }
    QFile file(host);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        platform::setLastError(5);
        return LoadResult::Failed;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        platform::setLastError(1117);
        return LoadResult::Failed;
    }
    profile = ProfileText::decode(bytes);
    return LoadResult::Loaded;
}

int copyList(const QStringList& names, QChar* buffer, int size) {
    if (size <= 0) {
        return 0;
    }
    if (size == 1) {
        buffer[0] = QChar(0);
        return 0;
    }
    int pos = 0;
    for (const QString& name : names) {
        const int length = static_cast<int>(name.size());
        if (pos + length + 2 > size) {
            // Too long: as much as fits, then two NULs.
            const int room = std::max(0, size - 2 - pos);
            std::copy_n(name.constData(), room, buffer + pos);
            buffer[size - 2] = QChar(0);
            buffer[size - 1] = QChar(0);
            return size - 2;
        }
        std::copy_n(name.constData(), length, buffer + pos);
        pos += length;
        buffer[pos++] = QChar(0);
    }
    buffer[pos] = QChar(0);
    return pos == 0 ? 0 : pos;
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
    const bool loaded = load(fileName, profile) == LoadResult::Loaded;
    if (!section) {
        return copyList(loaded ? profile.sectionNames() : QStringList(), buffer, size);
    }
    if (!key) {
        return copyList(loaded ? profile.keys(*section) : QStringList(), buffer, size);
    }
    std::optional<QString> value;
    if (loaded) {
        value = profile.value(*section, *key);
    }
    return copyValue(value.value_or(defaultValue.value_or(QString())), buffer, size);
}

bool WritePrivateProfileStringW(const std::optional<QString>& section,
                                const std::optional<QString>& key,
                                const std::optional<QString>& value, const QString& fileName) {
    if (!section) {
        // Every write reaches the disk at once, so there is nothing to flush.
        return !key && !value;
    }
    const bool valid = ProfileText::isWritableSection(*section) &&
                       (!key || ProfileText::isWritableKey(*key)) &&
                       (!value || ProfileText::isWritableValue(*value));
    if (!valid) {
        platform::setLastError(87);
        return false;
    }
    ProfileText profile;
    const LoadResult loaded = load(fileName, profile);
    if (loaded == LoadResult::Failed) {
        return false;  // never replace content we could not read
    }
    if (!key || !value) {
        if (loaded == LoadResult::Missing) {
            return true;
        }
        const bool changed =
            key ? profile.removeKey(*section, *key) : profile.eraseSection(*section);
        return !changed || platform::replaceFileAtomically(fileName, profile.encode());
    }
    profile.setValue(*section, *key, *value);
    return platform::replaceFileAtomically(fileName, profile.encode());
}

}  // namespace selvanix
