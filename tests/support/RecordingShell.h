#pragma once

#include "platform/ShellOpen.h"

#include <vector>

namespace selvanix::test {

// A shell that records what it is asked to open and opens nothing.
class RecordingShell : public platform::Shell {
public:
    int open(const platform::ShellRequest& request) noexcept override {
        requests.push_back(request);
        return platform::SHELL_OPEN_OK;
    }
    std::vector<platform::ShellRequest> requests;
};

}  // namespace selvanix::test
