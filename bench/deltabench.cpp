// Fetches an archive into a folder through the download component, as an installation does:
// whole, or assembled from a kept archive. Usage: deltabench URL FOLDER NAME KEPT|- GAP SHA|-
// KEPT is linked in as the kept copy; SHA (lowercase hex) stands for a signed descriptor's
// check, "-" for none (every reused entry is then checked by its CRC-32). Prints one line:
// "seconds S transferred B reused R peak_kib K".
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "PeakKib.h"
#include "delta/ArchiveDelta.h"
#include "net/WebHTTPGet.h"

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: deltabench URL FOLDER NAME KEPT|- GAP SHA|-\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString name = QString::fromLocal8Bit(argv[3]);
    selvanix::net::WebHTTPGet get;
    get.URL = QString::fromLocal8Bit(argv[1]);
    get.DownloadDir = folder + u'/';
    get.DestinationName = name;
    if (std::strcmp(argv[4], "-") != 0) {
        const QByteArray kept = QFile::encodeName(folder) + '/' + selvanix::keptArchiveName(name);
        if (::link(argv[4], kept.constData()) != 0) {
            std::perror("link");
            return 2;
        }
        selvanix::ArchiveHashCheck check;
        if (std::strcmp(argv[6], "-") != 0) {
            check = [sha = QByteArray(argv[6])](const QByteArray& s) { return s == sha; };
        }
        get.AssembleNextFrom(selvanix::archiveDelta(folder, name, check, std::atoll(argv[5])));
    }
    QElapsedTimer clock;
    clock.start();
    const bool ok = get.Process(false, false);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    if (!ok) {
        std::fprintf(stderr, "download failed: %d %s\n", get.GetError(),
                     get.GetErrorString().toLocal8Bit().constData());
        return 1;
    }
    std::printf("seconds %.3f transferred %lld reused %lld peak_kib %ld\n", seconds,
                static_cast<long long>(get.List().AllSize()),
                static_cast<long long>(get.Result().reused), peakKib());
    return 0;
}
