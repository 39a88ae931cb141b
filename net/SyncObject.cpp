#include "SyncObject.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>
#include <memory>
#include <thread>

namespace selvanix::net {

SyncObject::SyncObject() : window_(std::make_unique<QObject>()) {}

SyncObject::~SyncObject() = default;

bool SyncObject::onOwnThread() const {
    return QThread::currentThread() == window_->thread();
}

void SyncObject::Synchronize(const std::function<void()>& method) {
    if (onOwnThread()) {
        method();
        return;
    }
    std::exception_ptr raised;
    QMetaObject::invokeMethod(
        window_.get(),
        [&] {
            try {
                method();
            } catch (...) {
                raised = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (raised) {
        std::rethrow_exception(raised);
    }
}

void pumpUntil(const std::function<bool()>& done) {
    const bool uiThread = QCoreApplication::instance() &&
                          QThread::currentThread() == QCoreApplication::instance()->thread();
    while (!done()) {
        if (uiThread) {
            QCoreApplication::sendPostedEvents();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace selvanix::net
