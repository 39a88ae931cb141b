#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace selvanix::test {

TestReply httpReply(int status, const QByteArray& body, const QList<QByteArray>& headers,
                    bool withLength) {
    TestReply reply;
    reply.raw = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
    for (const QByteArray& h : headers) {
        reply.raw += h + "\r\n";
    }
    if (withLength) {
        reply.raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    }
    reply.raw += "Connection: close\r\n\r\n" + body;
    return reply;
}

TestHttpServer::TestHttpServer(const char* address) : address_(QString::fromLatin1(address)) {
    const bool six = address_.contains(u':');
    listenFd_ = ::socket(six ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage bound{};
    socklen_t length = 0;
    if (six) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&bound);
        in6->sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, address, &in6->sin6_addr);
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&bound);
        in4->sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &in4->sin_addr);
        length = sizeof(sockaddr_in);
    }
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&bound), length) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
        ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        throw std::runtime_error("test server cannot listen");
    }
    port_ = ntohs(six ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                      : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
    stopping_ = true;
    stopEvent_.notify_all();
    [[maybe_unused]] const auto n = ::write(wakePipe_[1], "x", 1);
    acceptThread_.join();
    {
        const std::lock_guard guard(lock_);
        for (const int fd : openFds_) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    for (std::thread& worker : workers_) {
        worker.join();
    }
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

QString TestHttpServer::url(const QString& path) const {
    const QString host = address_.contains(u':') ? u'[' + address_ + u']' : address_;
    return QStringLiteral("http://%1:%2%3").arg(host).arg(port_).arg(path);
}

void TestHttpServer::route(const QByteArray& path, const TestReply& reply) {
    const std::lock_guard guard(lock_);
    routes_[path] = reply;
    sequences_.erase(path);
}

void TestHttpServer::routeInTurn(const QByteArray& path, std::vector<TestReply> replies) {
    const std::lock_guard guard(lock_);
    routes_[path] = replies.back();
    replies.pop_back();
    sequences_[path] = std::deque<TestReply>(replies.begin(), replies.end());
}

void TestHttpServer::answer(const QByteArray& path,
                            std::function<TestReply(const QByteArray& head)> make) {
    const std::lock_guard guard(lock_);
    makers_[path] = std::move(make);
}

QList<QByteArray> TestHttpServer::requests() const {
    const std::lock_guard guard(lock_);
    return requests_;
}

QByteArray TestHttpServer::requestLine(const QByteArray& request) {
    return request.left(request.indexOf("\r\n"));
}

QByteArray TestHttpServer::header(const QByteArray& request, const QByteArray& name) {
    for (const QByteArray& line : request.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return {};
}

void TestHttpServer::acceptLoop() {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    while (!stopping_) {
        if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN) != 0) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        ++connections_;
        const std::lock_guard guard(lock_);
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void TestHttpServer::waitForStop(int ms) {
    std::unique_lock guard(lock_);
    stopEvent_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

bool TestHttpServer::sendAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

void TestHttpServer::serve(int fd) {
    QByteArray head;
    char buffer[4096];
    while (!head.contains("\r\n\r\n")) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        head.append(buffer, n);
    }
    TestReply reply = httpReply(404, "not here");
    {
        const std::lock_guard guard(lock_);
        requests_.append(head);
        QByteArray path = requestLine(head).split(' ').value(1);
        path = path.left(path.indexOf('?') < 0 ? path.size() : path.indexOf('?'));
        const auto turn = sequences_.find(path);
        const auto found = routes_.find(path);
        const auto maker = makers_.find(path);
        if (maker != makers_.end()) {
            reply = maker->second(head);
        } else if (turn != sequences_.end() && !turn->second.empty()) {
            reply = turn->second.front();
            turn->second.pop_front();
        } else if (found != routes_.end()) {
            reply = found->second;
        }
    }
    if (reply.delayMs > 0) {
        waitForStop(reply.delayMs);
    }
    qsizetype end = reply.raw.size();
    if (reply.cutAfter >= 0) {
        end = std::min(end, reply.cutAfter);
    }
    if (reply.stallAfter >= 0) {
        end = std::min(end, reply.stallAfter);
    }
    const qsizetype piece = reply.pieceSize > 0 ? reply.pieceSize : end;
    for (qsizetype at = 0; at < end && !stopping_; at += piece) {
        if (!sendAll(fd, reply.raw.constData() + at, std::min(piece, end - at))) {
            break;
        }
        if (reply.pieceDelayMs > 0 && at + piece < end) {
            waitForStop(reply.pieceDelayMs);
        }
    }
    while (!reply.repeatForever.isEmpty() && !stopping_ &&
           sendAll(fd, reply.repeatForever.constData(), reply.repeatForever.size())) {
    }
    if (reply.stallAfter >= 0) {
        waitForStop(24 * 3600 * 1000);
    }
    if (reply.resetAtCut) {
        const linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    {
        const std::lock_guard guard(lock_);
        openFds_.erase(std::find(openFds_.begin(), openFds_.end(), fd));
    }
    ::close(fd);
}

}  // namespace selvanix::test
