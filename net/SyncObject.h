#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace selvanix::net {

class CallQueue;

// Runs calls on the thread that created it (the user-interface thread) and makes the
// calling thread wait for them. The call is served whenever that thread runs its event loop
// or pumpUntil; an exception thrown by the call is thrown again in the calling thread. The
// hand-off goes through a mutex and a promise, so the order is plain to a race detector.
class SyncObject {
public:
    SyncObject();
    SyncObject(const SyncObject&) = delete;
    SyncObject& operator=(const SyncObject&) = delete;
    ~SyncObject();

    void Synchronize(const std::function<void()>& method);
    // From any thread: the owner's pumpUntil looks at its condition now, not after its wait.
    void Wake();
    bool onOwnThread() const;

private:
    std::thread::id owner_;
    std::shared_ptr<CallQueue> queue_;
};

// Serves the calling thread's pending calls until done() holds, then returns.
void pumpUntil(const std::function<bool()>& done);

}  // namespace selvanix::net
