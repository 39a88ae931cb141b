#pragma once

#include <sys/types.h>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace selvanix::test {

// nginx serving a folder on a free loopback port with its own configuration, stopped when the
// object goes. ok() is false (with the reason in error()) when nginx could not start.
class TestNginx {
public:
    // With a certificate and key (PEM files) it speaks https instead of http; serverConfig
    // goes into the server block as it is (for example a location that redirects).
    explicit TestNginx(const QString& root, const QString& certificate = {},
                       const QString& key = {}, const QString& serverConfig = {});
    TestNginx(const TestNginx&) = delete;
    TestNginx& operator=(const TestNginx&) = delete;
    ~TestNginx();

    bool ok() const { return pid_ > 0; }
    QString error() const { return error_; }
    int port() const { return port_; }
    QString url(const QString& path) const;
    QString accessLog() const;  // the request lines and Range headers it logged
    // The access log's lines since the last call, one request each.
    QStringList newRequests();

private:
    QTemporaryDir prefix_;
    pid_t pid_ = -1;
    int port_ = 0;
    QString error_;
    QString scheme_ = QStringLiteral("http");
    qsizetype seen_ = 0;
};

// A self-signed certificate for 127.0.0.1 made with the openssl tool, into folder as
// cert.pem and key.pem; false when the tool failed.
bool makeSelfSignedCertificate(const QString& folder);

// A loopback port nobody listens on at the moment of asking.
int freeLoopbackPort();

// Whether something listens on the loopback port.
bool acceptsOnLoopback(int port);

}  // namespace selvanix::test
