#pragma once

#include <chrono>

namespace selvanix::net {

// A millisecond counter that only moves forward.
inline long long tickCount() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace selvanix::net
