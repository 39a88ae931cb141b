#pragma once

#include <fstream>
#include <string>

// The process's peak resident memory in KiB so far; -1 when it cannot be read.
inline long peakKib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}
