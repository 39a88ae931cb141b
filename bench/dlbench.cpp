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
    // As the command line runs it: the transfer on the list's threads, its notifications
    // (and the progress they carry) served here.
    qint64 notifications = 0;
    get.OnProgress = [&](auto&, auto&) { ++notifications; };
    get.Process(false, true);
    get.List().WaitForEnd();
    const selvanix::net::DownloadItem* item = get.FileDownloader();
    const bool ok = item && item->State() == selvanix::net::DS_PROCESSED && item->Error() == 0;
    if (std::getenv("DLBENCH_TRACE")) {
        std::fprintf(stderr, "transfer %lld ms, save %lld ms, %lld notifications\n",
                     static_cast<long long>(received),
                     static_cast<long long>(clock.elapsed() - received),
                     static_cast<long long>(notifications));
    }
    if (!ok) {
        std::fprintf(stderr, "download failed: %d %s\n", get.GetError(),
                     get.GetErrorString().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
