// libFuzzer entry: any bytes, opened as an archive and decoded.
#include "ExerciseArchive.h"

#include "platform/CodePages.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        selvanix::platform::setCodePages({1250, 852});
        return true;
    }();
    (void)ready;
    selvanix::fuzz::exerciseArchive(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
