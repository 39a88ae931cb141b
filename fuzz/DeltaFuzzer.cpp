// libFuzzer entry: any index, patch or delta file against a fixed old archive and its next
// release; aborts on an entry rebuilt with bytes other than the release's.
#include "ExerciseDelta.h"

#include <QDir>
#include <QFile>
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
    for (int i = 1; i < *argc; ++i) {
        const QString arg = QString::fromLocal8Bit((*argv)[i]);
        if (arg.startsWith(u'-')) {
            continue;
        }
        QDir corpus(arg);
        if (corpus.exists() && corpus.isEmpty()) {
            for (const char kind : {'i', 'p', 'd'}) {
                QFile seed(corpus.filePath(QStringLiteral("honest-") + QLatin1Char(kind)));
                if (seed.open(QIODevice::WriteOnly)) {
                    seed.write(selvanix::fuzz::deltaSeed(kind, root().path()));
                }
            }
        }
        break;
    }
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
