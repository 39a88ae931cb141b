#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace selvanix::test {

// A forwarding HTTP proxy on a free loopback port that records every request it passed on.
// With credentials ("user:password") it answers 407 to a request without them.
class TestProxy {
public:
    explicit TestProxy(QByteArray credentials = {});
    TestProxy(const TestProxy&) = delete;
    TestProxy& operator=(const TestProxy&) = delete;
    ~TestProxy();

    // http://[userInfo@]127.0.0.1:port
    QString url(const QString& userInfo = {}) const;
    QList<QByteArray> forwarded() const;  // request lines as the client sent them
    int refused() const { return refused_; }

private:
    void acceptLoop();
    void serve(int client);

    QByteArray credentials_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> refused_{0};
    mutable std::mutex lock_;
    QList<QByteArray> forwarded_;
    std::vector<std::thread> workers_;
    std::thread acceptThread_;
};

}  // namespace selvanix::test
