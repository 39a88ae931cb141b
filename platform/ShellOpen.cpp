#include "ShellOpen.h"

#include "Paths.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>
#include <mutex>

namespace selvanix::platform {

namespace {

std::mutex shellMutex;
std::shared_ptr<Shell> currentShell;

}  // namespace

int LinuxShell::open(const ShellRequest& request) noexcept {
    try {
        QString file = toHostPath(request.file.trimmed());
        // A bare name is looked for in the working folder the caller gives.
        if (!file.isEmpty() && !file.startsWith(u'/') && !request.dir.isEmpty()) {
            file = toHostPath(request.dir) + u'/' + file;
        }
        const QFileInfo info(file);
        if (file.isEmpty() || !info.exists()) {
            return SE_ERR_FNF;
        }
        QString dir;
        if (!request.dir.isEmpty()) {
            dir = toHostPath(request.dir);
            if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
                return SE_ERR_PNF;
            }
        }
        if (info.isFile() && info.isExecutable()) {
            const bool started = QProcess::startDetached(info.absoluteFilePath(),
                                                         QProcess::splitCommand(request.params),
                                                         dir.isEmpty() ? info.absolutePath() : dir);
            return started ? SHELL_OPEN_OK : SE_ERR_ACCESSDENIED;
        }
        const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
        bool opened = false;
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
            opened = QDesktopServices::openUrl(url);
        } else {
            opened = QProcess::startDetached(QStringLiteral("xdg-open"), {url.toLocalFile()});
        }
        return opened ? SHELL_OPEN_OK : SE_ERR_NOASSOC;
    } catch (...) {
        return SE_ERR_ACCESSDENIED;
    }
}

void setShell(std::shared_ptr<Shell> shell) {
    std::lock_guard lock(shellMutex);
    currentShell = std::move(shell);
}

Shell& shell() {
    std::lock_guard lock(shellMutex);
    if (!currentShell) {
        currentShell = std::make_shared<LinuxShell>();
    }
    return *currentShell;
}

int ShellOpen(const QString& file, const QString& params, const QString& dir, int show) {
    return shell().open(ShellRequest{file, params, dir, show});
}

}  // namespace selvanix::platform
