#pragma once

#include <QObject>
#include <functional>
#include <memory>

namespace selvanix::net {

// Runs calls on the thread that created it (the user-interface thread) and makes the
// calling thread wait for them. The call is served whenever that thread runs its event
// loop; an exception thrown by the call is thrown again in the calling thread.
class SyncObject {
public:
    SyncObject();
    SyncObject(const SyncObject&) = delete;
    SyncObject& operator=(const SyncObject&) = delete;
    ~SyncObject();

    void Synchronize(const std::function<void()>& method);
    bool onOwnThread() const;

private:
    std::unique_ptr<QObject> window_;  // the hidden receiver
};

// Runs the user-interface thread's pending calls until done() holds; on any other thread it
// just waits.
void pumpUntil(const std::function<bool()>& done);

}  // namespace selvanix::net
