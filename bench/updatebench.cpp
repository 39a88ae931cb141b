// An update's fetch as a run makes it: the descriptor, then (with a kept archive and a key)
// the signed index and the delta, and the archive assembled or whole, with every check.
//   updatebench BASEURL FOLDER KEPT|- PUBLICKEY|-
// KEPT is linked in as the archive kept from the last installation. Prints one line:
// "seconds S transferred B reused R delta D peak_kib K", B counting every byte that came.
#include "PeakKib.h"
#include "delta/ArchiveDelta.h"
#include "engine/InstallEngine.h"
#include "net/WebHTTPGet.h"
#include "platform/FileOps.h"

#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

using namespace selvanix;

namespace {

class Unwatched : public RunObserver {
public:
    void packageMissing(PackageProblem, const QString& reason) override {
        std::fprintf(stderr, "no package: %s\n", reason.toLocal8Bit().constData());
    }
    void descriptorRead(const PackageInfo&) override {}
    void noTarget(const QString&, const SearchSkips&) override {}
    void targetStarted(const QString&, int, int) override {}
    void targetFailed(const QString&, const QString&) override {}
    void installed(const RunResult&, const SearchSkips&, const QString&) override {}
    void archiveReused(qint64, qint64 size, qint64 delta) override {
        reused = true;
        deltaBytes = delta;
        (void)size;
    }
    bool reused = false;
    qint64 deltaBytes = 0;
};

// Fetches in place.
class PlainFetcher final : public HttpFetcher {
public:
    using HttpFetcher::HttpFetcher;

protected:
    bool transfer(net::WebHTTPGet& get) override { return get.Process(false, false) || true; }
};

// Every fetch's bytes as they came over the wire, quiet ones too.
class CountingFetcher final : public Fetcher {
public:
    CountingFetcher(Fetcher& inner, net::WebHTTPGet& get) : inner_(inner), get_(get) {}
    FetchResult fetch(const FetchRequest& request, const FetchProgressHandler& progress) override {
        FetchResult result = inner_.fetch(request, progress);
        transferred += get_.List().AllSize();
        return result;
    }
    void stop() override { inner_.stop(); }
    qint64 transferred = 0;

private:
    Fetcher& inner_;
    net::WebHTTPGet& get_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: updatebench BASEURL FOLDER KEPT|- PUBLICKEY|-\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    platform::setInstallerFolder(folder + u'/');
    const PackageNames names = PackageNames::of(1);
    if (std::strcmp(argv[3], "-") != 0) {
        const QByteArray kept = QFile::encodeName(folder) + '/' + keptArchiveName(names.archive);
        if (::link(argv[3], kept.constData()) != 0) {
            std::perror("link");
            return 2;
        }
    }
    Unwatched observer;
    net::WebHTTPGet get;
    TPakovna archiver;
    FolderListings listings;
    DialogQuestions questions;
    PlainFetcher plain(get);
    CountingFetcher fetcher(plain, get);
    InstallEngine engine(observer, questions, fetcher, archiver, listings);
    const QString key = std::strcmp(argv[4], "-") == 0 ? QString() : QString::fromLatin1(argv[4]);
    QElapsedTimer clock;
    clock.start();
    const PackageFetched fetched = engine.kopirujzWebu(QString::fromLocal8Bit(argv[1]), names, key);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    if (!fetched.descriptor || !fetched.archive) {
        std::fprintf(stderr, "updatebench: %s\n", fetched.problem.toLocal8Bit().constData());
        return 1;
    }
    std::printf("seconds %.3f transferred %lld reused %d delta %lld peak_kib %ld\n", seconds,
                static_cast<long long>(fetcher.transferred), observer.reused ? 1 : 0,
                static_cast<long long>(observer.deltaBytes), peakKib());
    return 0;
}
