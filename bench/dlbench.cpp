// Downloads one address into a folder through the download component, without its window,
// the way the installer's save step writes it. Usage: dlbench URL FOLDER NAME
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

#include "net/WebHTTPGet.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: dlbench URL FOLDER NAME\n");
        return 2;
    }
    selvanix::net::WebHTTPGet get;
    get.URL = QString::fromLocal8Bit(argv[1]);
    get.DownloadDir = QString::fromLocal8Bit(argv[2]) + u'/';
    get.DestinationName = QString::fromLocal8Bit(argv[3]);
    // With DLBENCH_TRACE set, tells how the time splits between transfer and save.
    QElapsedTimer clock;
    clock.start();
    qint64 received = 0;
    get.OnGetFileName = [&](auto&, auto&, QString&) { received = clock.elapsed(); };
    const bool ok = get.Process(false, false);
    if (std::getenv("DLBENCH_TRACE")) {
        std::fprintf(stderr, "transfer %lld ms, save %lld ms\n", static_cast<long long>(received),
                     static_cast<long long>(clock.elapsed() - received));
    }
    if (!ok) {
        std::fprintf(stderr, "download failed: %d %s\n", get.GetError(),
                     get.GetErrorString().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
