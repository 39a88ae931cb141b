#include "TestNginx.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace selvanix::test {

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool acceptsOnLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// A plain fork and exec: a race detector follows them, not the clone QProcess uses.
bool makeSelfSignedCertificate(const QString& folder) {
    const QByteArray key = QFile::encodeName(folder + QStringLiteral("/key.pem"));
    const QByteArray cert = QFile::encodeName(folder + QStringLiteral("/cert.pem"));
    const pid_t child = ::fork();
    if (child == 0) {
        const int nothing = ::open("/dev/null", O_WRONLY);
        ::dup2(nothing, 1);
        ::dup2(nothing, 2);
        ::execlp("openssl", "openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                 key.constData(), "-out", cert.constData(), "-days", "2", "-subj", "/CN=127.0.0.1",
                 "-addext", "subjectAltName=IP:127.0.0.1", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TestNginx::TestNginx(const QString& root, const QString& certificate, const QString& key,
                     const QString& serverConfig) {
    QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (nginx.isEmpty()) {
        nginx =
            QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin")});
    }
    if (nginx.isEmpty()) {
        error_ = QStringLiteral("nginx is not installed (scripts/install-deps installs it)");
        return;
    }
    port_ = freeLoopbackPort();
    QString listen = QStringLiteral("listen 127.0.0.1:%1;").arg(port_);
    if (!certificate.isEmpty()) {
        scheme_ = QStringLiteral("https");
        listen =
            QStringLiteral("listen 127.0.0.1:%1 ssl; ssl_certificate %2; ssl_certificate_key %3;")
                .arg(port_)
                .arg(certificate, key);
    }
    const QString dir = prefix_.path();
    const QString conf = dir + QStringLiteral("/nginx.conf");
    QFile file(conf);
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("%1worker_processes 1;\n"
                              "pid %2/nginx.pid;\n"
                              "error_log %2/error.log;\n"
                              "events { worker_connections 64; }\n"
                              "http {\n"
                              "  access_log %2/access.log;\n"
                              "  log_format wire '$request $http_range $http_user_agent';\n"
                              "  client_body_temp_path %2/body; proxy_temp_path %2/proxy;\n"
                              "  fastcgi_temp_path %2/fastcgi; uwsgi_temp_path %2/uwsgi;\n"
                              "  scgi_temp_path %2/scgi;\n"
                              "  default_type application/octet-stream;\n"
                              "  sendfile on;\n"
                              "  server {\n"
                              "    %3\n"
                              "    access_log %2/wire.log wire;\n"
                              "    root %4;\n"
                              "    %5\n"
                              "  }\n"
                              "}\n")
                   .arg(geteuid() == 0 ? QStringLiteral("user root;\n") : QString(), dir)
                   .arg(listen, root, serverConfig)
                   .toUtf8());
    file.close();
    const QByteArray program = QFile::encodeName(nginx);
    const QByteArray prefix = QFile::encodeName(dir + u'/');
    const QByteArray config = QFile::encodeName(conf);
    const QByteArray errorLog = QFile::encodeName(dir + QStringLiteral("/error.log"));
    pid_ = ::fork();
    if (pid_ == 0) {
        ::execl(program.constData(), program.constData(), "-p", prefix.constData(), "-c",
                config.constData(), "-e", errorLog.constData(), "-g", "daemon off;",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 200 && !acceptsOnLoopback(port_); ++i) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            QFile log(dir + QStringLiteral("/error.log"));
            log.open(QIODevice::ReadOnly);
            error_ = QStringLiteral("nginx ended: ") + QString::fromUtf8(log.readAll());
            return;
        }
        QThread::msleep(25);
    }
}

TestNginx::~TestNginx() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

QString TestNginx::url(const QString& path) const {
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme_).arg(port_).arg(path);
}

QStringList TestNginx::newRequests() {
    const QStringList all = accessLog().split(u'\n', Qt::SkipEmptyParts);
    const QStringList fresh = all.mid(seen_);
    seen_ = all.size();
    return fresh;
}

QString TestNginx::accessLog() const {
    QFile log(prefix_.path() + QStringLiteral("/wire.log"));
    log.open(QIODevice::ReadOnly);
    return QString::fromUtf8(log.readAll());
}

}  // namespace selvanix::test
