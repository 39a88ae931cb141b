#include "ConnectedState.h"

#include <mutex>

namespace selvanix::platform {

namespace {

std::mutex& queryLock() {
    static std::mutex lock;
    return lock;
}

std::function<bool()>& query() {
    static std::function<bool()> q;
    return q;
}

}  // namespace

bool InternetGetConnectedState() {
    std::function<bool()> q;
    {
        const std::lock_guard lock(queryLock());
        q = query();
    }
    return q ? q() : true;
}

void setConnectedStateQuery(std::function<bool()> q) {
    const std::lock_guard lock(queryLock());
    query() = std::move(q);
}

}  // namespace selvanix::platform
