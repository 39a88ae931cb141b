// One target's installation as the run makes it, against plain extraction:
//   plain    the five masks straight into the target, then one sync
//   install  settings, staging, journal, commit and its syncs, as every run does it
//   installbench plain|install ARCHIVE TARGET
#include "archive/InstallMasks.h"
#include "engine/InstallEngine.h"
#include "net/WebHTTPGet.h"

#include <unistd.h>
#include <QFileInfo>
#include <cstdio>

using namespace selvanix;

namespace {

// Nobody watches a benchmark.
class Unwatched : public RunObserver {
    void packageMissing(PackageProblem, const QString&) override {}
    void descriptorRead(const PackageInfo&) override {}
    void noTarget(const QString&, const SearchSkips&) override {}
    void targetStarted(const QString&, int, int) override {}
    void targetFailed(const QString&, const QString&) override {}
    void installed(const RunResult&, const SearchSkips&, const QString&) override {}
};

void plain(const QString& archive, const QString& target) {
    TPakovna arc;
    arc.FileName = archive;
    arc.OpenArchive(0);
    for (const InstallMask& m : kInstallMasks) {
        arc.BaseDir = m.below(target);
        arc.ExtractFiles(QString::fromLatin1(m.mask), DefaultSearchAttr, QString());
    }
    arc.CloseArchive();
    ::sync();
}

void install(const QString& archive, const QString& target) {
    Unwatched observer;
    net::WebHTTPGet get;
    TPakovna archiver;
    FolderListings listings;
    DialogQuestions questions;
    // Nothing is fetched: the archive is read from where it lies.
    class NoFetch final : public HttpFetcher {
        using HttpFetcher::HttpFetcher;
        bool transfer(net::WebHTTPGet&) override { return true; }
    } fetcher(get);
    InstallEngine engine(observer, questions, fetcher, archiver, listings);
    // Read by its name, as plain extraction reads it: the hashing of a run is not measured.
    Package package;
    package.folder = QFileInfo(archive).absolutePath();
    package.names.archive = QFileInfo(archive).fileName();
    RunRequest request;
    request.fields[0] = target;
    engine.dejtam(package, target, request);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: installbench plain|install ARCHIVE TARGET\n");
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString archive = QString::fromLocal8Bit(argv[2]);
    const QString target = QString::fromLocal8Bit(argv[3]);
    try {
        mode == u"install" ? install(archive, target) : plain(archive, target);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "installbench: %s\n", error.what());
        return 1;
    }
    return 0;
}
