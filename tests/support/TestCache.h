#pragma once

#include <sys/types.h>
#include <QString>
#include <QTemporaryDir>

namespace selvanix::test {

enum class CacheKind { Squid, Varnish, TrafficServer, Apache };

// The name run-cache knows it by: squid, varnish, trafficserver or apache2.
const char* cacheName(CacheKind kind);

// A real cache in the foreground on a free loopback port, in front of an origin on loopback,
// with its files in a folder of its own; stopped, with all its processes, when the object goes.
class TestCache {
public:
    TestCache(CacheKind kind, int originPort);
    TestCache(const TestCache&) = delete;
    TestCache& operator=(const TestCache&) = delete;
    ~TestCache();

    bool ok() const { return pid_ > 0; }
    QString error() const { return error_; }
    QString url(const QString& path) const;

private:
    QTemporaryDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
    QString error_;
};

}  // namespace selvanix::test
