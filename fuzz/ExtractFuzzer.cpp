// libFuzzer entry: any bytes, extracted with the archiver component into a folder with
// planted links; aborts when anything outside that folder changed.
#include "ExerciseExtraction.h"

#include "platform/CodePages.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/selvanix-extract-fuzz-XXXXXX"));
    static const bool ready = [] {
        selvanix::platform::setCodePages({1250, 852});
        return root.isValid();
    }();
    if (!ready) {
        std::abort();
    }
    const QString finding = selvanix::fuzz::exerciseExtraction(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), root.path());
    if (!finding.isEmpty()) {
        std::fprintf(stderr, "%s\n", finding.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
