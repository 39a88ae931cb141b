#include "SyncObject.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>

namespace selvanix::net {

// The calls waiting for one thread. Another thread adds a call and a promise; the owner runs
// the call and keeps the promise. Qt's event loop is only woken through it, never relied on
// for the order.
class CallQueue : public std::enable_shared_from_this<CallQueue> {
public:
    CallQueue() : thread_(QThread::currentThread()) {}

    std::future<void> post(const std::function<void()>& method) {
        std::promise<void> done;
        std::future<void> result = done.get_future();
        {
            const std::lock_guard guard(lock_);
            pending_.push_back({method, std::move(done)});
        }
        arrived_.notify_one();
        // The user-interface thread's event loop serves its calls too, as modal windows run it.
        QCoreApplication* app = QCoreApplication::instance();
        if (app != nullptr && app->thread() == thread_) {
            QMetaObject::invokeMethod(
                app, [queue = shared_from_this()] { queue->drain(); }, Qt::QueuedConnection);
        }
        return result;
    }

    // Returns when a call is waiting or a wake came, or after at most wait.
    void await(std::chrono::milliseconds wait) {
        std::unique_lock guard(lock_);
        arrived_.wait_for(guard, wait, [this] { return !pending_.empty() || woken_; });
        woken_ = false;
    }

    void wake() {
        {
            const std::lock_guard guard(lock_);
            woken_ = true;
        }
        arrived_.notify_one();
    }

    void drain() {
        for (;;) {
            Call call;
            {
                const std::lock_guard guard(lock_);
                if (pending_.empty()) {
                    return;
                }
                call = std::move(pending_.front());
                pending_.pop_front();
            }
            try {
                call.method();
                call.done.set_value();
            } catch (...) {
                call.done.set_exception(std::current_exception());
            }
        }
    }

private:
    struct Call {
        std::function<void()> method;
        std::promise<void> done;
    };
    std::mutex lock_;
    std::condition_variable arrived_;
    bool woken_ = false;
    std::deque<Call> pending_;
    QThread* const thread_;
};

namespace {

std::shared_ptr<CallQueue> queueOfThisThread() {
    thread_local const std::shared_ptr<CallQueue> queue = std::make_shared<CallQueue>();
    return queue;
}

}  // namespace

SyncObject::SyncObject() : owner_(std::this_thread::get_id()), queue_(queueOfThisThread()) {}

SyncObject::~SyncObject() = default;

bool SyncObject::onOwnThread() const {
    return std::this_thread::get_id() == owner_;
}

void SyncObject::Wake() {
    queue_->wake();
}

void SyncObject::Synchronize(const std::function<void()>& method) {
    if (onOwnThread()) {
        method();
        return;
    }
    queue_->post(method).get();
}

void pumpUntil(const std::function<bool()>& done) {
    const std::shared_ptr<CallQueue> own = queueOfThisThread();
    const bool uiThread = QCoreApplication::instance() &&
                          QThread::currentThread() == QCoreApplication::instance()->thread();
    while (!done()) {
        own->drain();
        if (uiThread) {
            QCoreApplication::sendPostedEvents();
        }
        // A worker waiting for its call is served at once; done() is looked at again at the
        // latest after the wait.
        own->await(std::chrono::milliseconds(5));
    }
    own->drain();
}

}  // namespace selvanix::net
