#include "MemoryAdvice.h"

#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>

namespace selvanix::platform {

void adviseHugePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kBlock = 2u << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kBlock - 1) & ~(kBlock - 1);
    const std::uintptr_t last = (begin + size) & ~(kBlock - 1);
    if (last > first) {
        // Only a hint: a kernel without huge pages simply says no.
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)size;
#endif
}

long long physicalMemory() {
    return static_cast<long long>(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
}

}  // namespace selvanix::platform
