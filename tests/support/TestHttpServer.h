#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace selvanix::test {

// What the server sends for one path, byte for byte, and how.
struct TestReply {
    QByteArray raw;             // status line, headers and body as they go over the wire
    int delayMs = 0;            // silence before the first byte
    qsizetype pieceSize = 0;    // send in pieces of this size ...
    int pieceDelayMs = 0;       // ... with this pause between them
    qsizetype cutAfter = -1;    // close the connection after this many bytes
    bool resetAtCut = false;    // close with a reset instead of an orderly end
    qsizetype stallAfter = -1;  // after this many bytes say nothing until the server stops
    QByteArray repeatForever;   // after raw, send this again and again until the client goes
};

// A reply with a status line, the given header lines, Content-Length (unless told not to)
// and the body.
TestReply httpReply(int status, const QByteArray& body, const QList<QByteArray>& headers = {},
                    bool withLength = true);

// An HTTP server on a free loopback port that answers each connection once from a script
// and records every request head it received. Paths without a script get a 404.
class TestHttpServer {
public:
    explicit TestHttpServer(const char* address = "127.0.0.1");  // any 127.x.y.z, or "::1"
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;
    ~TestHttpServer();

    int port() const { return port_; }
    QString url(const QString& path) const;  // path starts with "/"
    void route(const QByteArray& path, const TestReply& reply);
    // Each request for the path takes the next reply; the last one answers all after it.
    void routeInTurn(const QByteArray& path, std::vector<TestReply> replies);
    // Each request for the path is answered by what the function makes of its head.
    void answer(const QByteArray& path, std::function<TestReply(const QByteArray& head)> make);
    QList<QByteArray> requests() const;
    int connections() const { return connections_; }

    // The value of a request header, or a null array when the request has none.
    static QByteArray header(const QByteArray& request, const QByteArray& name);
    static QByteArray requestLine(const QByteArray& request);

private:
    void acceptLoop();
    void serve(int fd);
    bool sendAll(int fd, const char* data, qsizetype size);
    void waitForStop(int ms);

    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    int port_ = 0;
    QString address_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex lock_;
    std::condition_variable stopEvent_;
    std::map<QByteArray, TestReply> routes_;
    std::map<QByteArray, std::deque<TestReply>> sequences_;
    std::map<QByteArray, std::function<TestReply(const QByteArray&)>> makers_;
    QList<QByteArray> requests_;
    std::vector<int> openFds_;
    std::vector<std::thread> workers_;
    std::thread acceptThread_;
};

}  // namespace selvanix::test
