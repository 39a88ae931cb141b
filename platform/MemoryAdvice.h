#pragma once

#include <cstddef>

namespace selvanix::platform {

// Asks the kernel to back the untouched whole 2 MiB blocks of a large buffer with huge
// pages: filling hundreds of megabytes page by page costs more than receiving them.
void adviseHugePages(void* data, std::size_t size);

// The machine's physical memory in bytes.
long long physicalMemory();

}  // namespace selvanix::platform
