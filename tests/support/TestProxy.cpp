#include "TestProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QUrl>
#include <stdexcept>

namespace selvanix::test {

namespace {

void sendAll(int fd, const QByteArray& bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.constData() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        at += n;
    }
}

void withTimeout(int fd) {
    const timeval tenSeconds{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tenSeconds, sizeof tenSeconds);
}

int connectTo(const QString& host, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd < 0 || ::inet_pton(AF_INET, host.toLatin1().constData(), &to.sin_addr) != 1 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    withTimeout(fd);
    return fd;
}

}  // namespace

TestProxy::TestProxy(QByteArray credentials) : credentials_(std::move(credentials)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof bound;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&bound), length) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
        ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        throw std::runtime_error("test proxy cannot listen");
    }
    port_ = ntohs(bound.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

TestProxy::~TestProxy() {
    stopping_ = true;
    [[maybe_unused]] const auto n = ::write(wakePipe_[1], "x", 1);
    acceptThread_.join();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

QString TestProxy::url(const QString& userInfo) const {
    return QStringLiteral("http://") + (userInfo.isEmpty() ? QString() : userInfo + u'@') +
           QStringLiteral("127.0.0.1:") + QString::number(port_);
}

QList<QByteArray> TestProxy::forwarded() const {
    const std::lock_guard guard(lock_);
    return forwarded_;
}

void TestProxy::acceptLoop() {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    while (!stopping_) {
        if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN) != 0) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            workers_.emplace_back([this, fd] { serve(fd); });
        }
    }
}

// One request per connection: the head is read, checked, rewritten to the origin's form
// and passed on; the reply comes back byte for byte until the server closes.
void TestProxy::serve(int client) {
    withTimeout(client);
    QByteArray head;
    char buffer[16384];
    while (!head.contains("\r\n\r\n") && head.size() < 65536) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ::close(client);
            return;
        }
        head.append(buffer, n);
    }
    const QByteArray requestLine = head.left(head.indexOf("\r\n"));
    const QList<QByteArray> parts = requestLine.split(' ');
    const QUrl target(QString::fromLatin1(parts.value(1)));
    QByteArray authorization;
    QByteArray forward =
        parts.value(0) + ' ' + target.path(QUrl::FullyEncoded).toLatin1() +
        (target.hasQuery() ? '?' + target.query(QUrl::FullyEncoded).toLatin1() : QByteArray()) +
        ' ' + parts.value(2) + "\r\n";
    for (const QByteArray& line : head.left(head.indexOf("\r\n\r\n")).split('\n').mid(1)) {
        const QByteArray name = line.left(line.indexOf(':')).trimmed().toLower();
        if (name == "proxy-authorization") {
            authorization = line.mid(line.indexOf(':') + 1).trimmed();
        } else if (!name.startsWith("proxy-") && name != "connection") {
            forward += line.trimmed() + "\r\n";
        }
    }
    forward += "Connection: close\r\n\r\n" + head.mid(head.indexOf("\r\n\r\n") + 4);
    if (!credentials_.isEmpty() && authorization != "Basic " + credentials_.toBase64()) {
        ++refused_;
        sendAll(client,
                "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic "
                "realm=\"test\"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        ::close(client);
        return;
    }
    const int upstream = connectTo(target.host(), target.port(80));
    if (upstream < 0) {
        sendAll(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
        ::close(client);
        return;
    }
    {
        const std::lock_guard guard(lock_);
        forwarded_ << requestLine;
    }
    sendAll(upstream, forward);
    for (ssize_t n; (n = ::recv(upstream, buffer, sizeof buffer, 0)) > 0;) {
        sendAll(client, QByteArray(buffer, n));
    }
    ::close(upstream);
    ::shutdown(client, SHUT_WR);
    ::close(client);
}

}  // namespace selvanix::test
