#pragma once

#include <functional>

namespace selvanix::platform {

// Whether the machine is online. Linux has no such query, so the default answers true;
// tests install their own answer.
bool InternetGetConnectedState();
void setConnectedStateQuery(std::function<bool()> query);  // empty restores the default

}  // namespace selvanix::platform
