#include "RunLog.h"

#include "platform/Descriptor.h"

#include <fcntl.h>
#include <sys/file.h>
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

int openForAppend(const QByteArray& path) {
    return ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace

RunLog::RunLog(const QString& path) : path_(path.isEmpty() ? defaultPath() : path) {}

QString RunLog::defaultPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) {
        state = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/selvanix/selvanix.log");
}

QString RunLog::redacted(const QString& text) {
    static const QRegularExpression credentials(
        QStringLiteral("([A-Za-z][A-Za-z0-9+.-]*://)[^/@\\s]*@"));
    QString result = text;
    return result.replace(credentials, QStringLiteral("\\1"));
}

void RunLog::line(const QString& text) const {
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) {
        return;
    }
    rotateIfFull();
    QString oneLine = redacted(text);
    oneLine.replace(u'\n', u' ').replace(u'\r', u' ');
    const QByteArray bytes =
        (QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QStringLiteral(" [") +
         QString::number(::getpid()) + QStringLiteral("] ") + oneLine + u'\n')
            .toUtf8();
    const Descriptor fd(openForAppend(QFile::encodeName(path_)));
    if (fd.get() >= 0) {
        // One write per line: O_APPEND keeps lines of parallel runs whole.
        [[maybe_unused]] const ssize_t n = ::write(fd.get(), bytes.constData(), bytes.size());
    }
}

void RunLog::rotateIfFull() const {
    const QByteArray path = QFile::encodeName(path_);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || st.st_size < kRotateAt) {
        return;
    }
    const Descriptor lock(
        ::open((path + ".lock").constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (lock.get() < 0 || ::flock(lock.get(), LOCK_EX) != 0) {
        return;
    }
    // Another run may have rotated while this one waited.
    if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= kRotateAt) {
        ::rename(path.constData(), (path + ".1").constData());
    }
    ::flock(lock.get(), LOCK_UN);
}

}  // namespace selvanix
