// The shipped program's points: none. A test executable links tests/support/TestPoints.cpp,
// whose definitions of these names come first, so nothing of them is in the product.
#include "FaultPoint.h"

namespace selvanix::platform {

void fileStep() noexcept {}

void pausePoint(const char*) noexcept {}

std::chrono::milliseconds lockWait(std::chrono::milliseconds usual) noexcept {
    return usual;
}

const char* machineIdFile(const char* usual) noexcept {
    return usual;
}

}  // namespace selvanix::platform
