#include "OtherUser.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace selvanix::test {

QByteArray runAsOtherUser(const std::function<QByteArray()>& body) {
    int channel[2];
    if (::pipe(channel) != 0) {
        return "<no pipe>";
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return "<no fork>";
    }
    if (child == 0) {
        ::close(channel[0]);
        if (::getuid() == 0) {
            const gid_t groups[] = {kNobody};
            if (::setgroups(1, groups) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(3);
            }
        }
        const QByteArray report = body();
        qsizetype at = 0;
        while (at < report.size()) {
            const ssize_t n = ::write(channel[1], report.constData() + at,
                                      static_cast<size_t>(report.size() - at));
            if (n <= 0) {
                break;
            }
            at += n;
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, n);
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "<crashed>";
    }
    return report;
}

}  // namespace selvanix::test
