#include "RunLog.h"

#include "platform/FileOps.h"
#include "platform/OwnerRule.h"
#include "platform/Places.h"
#include "platform/handles/Descriptor.h"
#include "platform/handles/FileLock.h"
#include "platform/handles/FolderHandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace selvanix {

namespace {

using platform::Descriptor;
using namespace std::chrono_literals;

// The state home whose selvanix folder only this user and root can change, made private.
QString defaultFolder() {
    const QString home = platform::ownHome("XDG_STATE_HOME", QStringLiteral("/.local/state"));
    if (home.isEmpty()) {
        return {};
    }
    const QString folder = QDir::cleanPath(home + QStringLiteral("/selvanix"));
    platform::createFolder(home);
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return folder;
}

// The log, from its folder's handle: a regular file with one name that is this user's.
int openForAppend(const platform::FolderHandle& folder, const QByteArray& name) {
    Descriptor fd(::openat(folder.descriptor(), name.constData(),
                           O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                           0600));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        st.st_uid != ::geteuid()) {
        return -1;
    }
    return fd.release();
}

// Past the size, under a lock tried for at most 100 ms: a lock another holds never hangs a
// run, the line is then appended without rotating.
void rotateIfFull(const platform::FolderHandle& folder, const QByteArray& name) {
    const std::optional<struct stat> st = folder.status(name);
    if (!st || st->st_size < RunLog::kRotateAt) {
        return;
    }
    const auto lock =
        platform::FileLock::take(folder, name + ".lock", platform::FileLock::Access::Write, 100ms);
    if (!std::holds_alternative<platform::FileLock>(lock)) {
        return;
    }
    // Another run may have rotated while this one waited.
    const std::optional<struct stat> now = folder.status(name);
    if (now && S_ISREG(now->st_mode) && now->st_size >= RunLog::kRotateAt &&
        now->st_uid == ::geteuid()) {
        folder.rename(name, name + ".1");
    }
}

}  // namespace

RunLog::RunLog(const QString& path) {
    if (path.isEmpty()) {
        folder_ = defaultFolder();
        name_ = "selvanix.log";
        return;
    }
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    if (!QFileInfo(folder).isDir() ||
        !platform::trustedChain(folder, platform::OwnerRule::forProcess())) {
        problem_ = QStringLiteral(
                       "warning: no log is kept in %1: its folder is missing, or others can "
                       "change it")
                       .arg(path);
        return;
    }
    folder_ = folder;
    name_ = QFile::encodeName(file.fileName());
}

QString RunLog::path() const {
    return folder_.isEmpty() ? QString() : folder_ + u'/' + QFile::decodeName(name_);
}

QString RunLog::redacted(const QString& text) {
    static const QRegularExpression credentials(
        QStringLiteral("([A-Za-z][A-Za-z0-9+.-]*://)[^/@\\s]*@"));
    QString result = text;
    return result.replace(credentials, QStringLiteral("\\1"));
}

void RunLog::line(const QString& text) const {
    const std::optional<platform::FolderHandle> folder =
        folder_.isEmpty() ? std::nullopt
                          : platform::FolderHandle::openHost(QFile::encodeName(folder_));
    if (!folder) {
        return;
    }
    rotateIfFull(*folder, name_);
    QString oneLine = redacted(text);
    oneLine.replace(u'\n', u' ').replace(u'\r', u' ');
    const QByteArray bytes =
        (QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QStringLiteral(" [") +
         QString::number(::getpid()) + QStringLiteral("] ") + oneLine + u'\n')
            .toUtf8();
    const Descriptor fd(openForAppend(*folder, name_));
    if (fd.get() >= 0) {
        // One write per line: O_APPEND keeps lines of parallel runs whole.
        [[maybe_unused]] const ssize_t n = ::write(fd.get(), bytes.constData(), bytes.size());
    }
}

}  // namespace selvanix
