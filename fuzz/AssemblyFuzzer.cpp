// libFuzzer entry: any tail and any answers to requests for ranges, against a fixed kept
// archive; aborts on a success the check never passed.
#include "EmptyCorpus.h"
#include "ExerciseAssembly.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir& root() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/selvanix-assembly-fuzz-XXXXXX"));
    return dir;
}

}  // namespace

// An empty corpus folder (the first argument that is no option) starts with an input on
// which the assembly succeeds.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    selvanix::fuzz::seedEmptyCorpus(
        *argc, *argv, {{QStringLiteral("honest"), selvanix::fuzz::assemblySeed(root().path())}});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!root().isValid()) {
        std::abort();
    }
    const QString finding =
        selvanix::fuzz::exerciseAssembly(
            QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
            root().path())
            .finding;
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "%s\n", finding.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
