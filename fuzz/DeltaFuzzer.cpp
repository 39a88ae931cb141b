// libFuzzer entry: any index, patch or delta file against a fixed old archive and its next
// release; aborts on an entry rebuilt with bytes other than the release's.
#include "EmptyCorpus.h"
#include "ExerciseDelta.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir& root() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/selvanix-delta-fuzz-XXXXXX"));
    return dir;
}

}  // namespace

// An empty corpus folder (the first argument that is no option) starts with an input each
// reader accepts.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    std::vector<std::pair<QString, QByteArray>> seeds;
    for (const char kind : {'i', 'p', 'd'}) {
        seeds.emplace_back(QStringLiteral("honest-") + QLatin1Char(kind),
                           selvanix::fuzz::deltaSeed(kind, root().path()));
    }
    selvanix::fuzz::seedEmptyCorpus(*argc, *argv, seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!root().isValid()) {
        std::abort();
    }
    const QString finding =
        selvanix::fuzz::exerciseDelta(
            QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
            root().path())
            .finding;
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "%s\n", finding.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
