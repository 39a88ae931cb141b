#include "TestCache.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <QThread>

#include "TestNginx.h"

#ifndef SELVANIX_RUN_CACHE
#error "SELVANIX_RUN_CACHE names the script that starts a cache"
#endif

namespace selvanix::test {

const char* cacheName(CacheKind kind) {
    switch (kind) {
        case CacheKind::Squid:
            return "squid";
        case CacheKind::Varnish:
            return "varnish";
        case CacheKind::TrafficServer:
            return "trafficserver";
        case CacheKind::Apache:
            return "apache2";
    }
    return "?";
}

TestCache::TestCache(CacheKind kind, int originPort) {
    port_ = freeLoopbackPort();
    const QByteArray dir = QFile::encodeName(dir_.path());
    const QByteArray output = dir + "/output.log";
    const QByteArray port = QByteArray::number(port_);
    const QByteArray origin = QByteArray::number(originPort);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setsid();  // a group of its own, so every process of the cache goes at the end
        const int log = ::open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::execl("/bin/sh", "sh", SELVANIX_RUN_CACHE, cacheName(kind), port.constData(),
                origin.constData(), dir.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Traffic Server takes a few seconds to come up.
    for (int i = 0; i < 600 && !acceptsOnLoopback(port_); ++i) {
        int status = 0;
        if (pid_ < 0 || ::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            QFile log(QFile::decodeName(output));
            log.open(QIODevice::ReadOnly);
            error_ = QStringLiteral("%1 ended: %2")
                         .arg(QLatin1String(cacheName(kind)), QString::fromUtf8(log.readAll()));
            return;
        }
        QThread::msleep(25);
    }
}

TestCache::~TestCache() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        // Children that outlive their parent's end go too.
        ::kill(-pid_, SIGKILL);
    }
}

QString TestCache::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

}  // namespace selvanix::test
