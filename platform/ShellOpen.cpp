#include "ShellOpen.h"

#include "Paths.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>
#include <csignal>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace selvanix::platform {

namespace {

std::mutex shellMutex;
std::shared_ptr<Shell> currentShell;

}  // namespace

namespace {

// Forks twice, so the program is nobody's child and leaves no zombie; a pipe that closes on
// exec tells whether the exec happened.
int startOpenFile(const ShellRequest& request) {
    QList<QByteArray> arguments{QFile::encodeName(request.file)};
    for (const QString& param : QProcess::splitCommand(request.params)) {
        arguments << QFile::encodeName(param);
    }
    std::vector<char*> argv;
    for (QByteArray& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) {
        return SE_ERR_ACCESSDENIED;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::setsid();
        // A caller waiting for its stop signals keeps them blocked; the program must not.
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        // Detached: the program writes nothing into its starter's output, which may be a
        // script's JSON.
        const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (nothing >= 0) {
            ::dup2(nothing, 0);
            ::dup2(nothing, 1);
            ::dup2(nothing, 2);
        }
        int error = 0;
        if (request.workingFolder >= 0 && ::fchdir(request.workingFolder) != 0) {
            error = errno;
        } else {
            // An interpreter reads a script through /dev/fd, so the file stays open across exec.
            ::fcntl(request.program, F_SETFD, 0);
            ::fexecve(request.program, argv.data(), environ);
            error = errno;
        }
        [[maybe_unused]] const ssize_t told = ::write(status[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(status[1]);
    int error = 0;
    ssize_t got = -1;
    if (child > 0) {
        int childStatus = 0;
        ::waitpid(child, &childStatus, 0);
        do {
            got = ::read(status[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
    }
    ::close(status[0]);
    if (child < 0 || got != 0) {
        return got == sizeof error && error == ENOENT ? SE_ERR_FNF : SE_ERR_ACCESSDENIED;
    }
    return SHELL_OPEN_OK;
}

}  // namespace

int LinuxShell::open(const ShellRequest& request) noexcept {
    try {
        if (request.program >= 0) {
            struct stat st {};
            if (::fstat(request.program, &st) == 0 && (st.st_mode & 0111) != 0) {
                return startOpenFile(request);
            }
        }
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
