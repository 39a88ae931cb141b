#include "DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QEventLoop>
#include <QTimer>
#include <QVariantMap>

namespace selvanix::cli {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kInstallAction = QStringLiteral("install");

}  // namespace

std::unique_ptr<DesktopNotices> DesktopNotices::connect() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        return nullptr;
    }
    // Many desktops start their notification server only when it is first called.
    if (!bus.interface()->isServiceRegistered(kService).value() &&
        !bus.interface()->activatableServiceNames().value().contains(kService)) {
        return nullptr;
    }
    std::unique_ptr<DesktopNotices> notices(new DesktopNotices());
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), notices.get(),
                SLOT(actionInvoked(quint32, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), notices.get(),
                SLOT(notificationClosed(quint32, quint32)));
    return notices;
}

std::optional<quint32> DesktopNotices::show(const QString& summary, const QString& body,
                                            const QString& actionLabel) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("org.selvanix.Selvanix")},
        {QStringLiteral("category"), QStringLiteral("x-selvanix.update")},
    };
    call << QStringLiteral("Selvanix") << quint32(0) << QStringLiteral("org.selvanix.Selvanix")
         << summary << body << QStringList{kInstallAction, actionLabel} << hints << qint32(-1);
    const QDBusReply<quint32> reply = QDBusConnection::sessionBus().call(call);
    if (!reply.isValid()) {
        return std::nullopt;
    }
    open_[reply.value()] = true;
    return reply.value();
}

QList<quint32> DesktopNotices::waitForAnswers(std::chrono::milliseconds limit) {
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(limit);
    QObject::connect(this, &DesktopNotices::allAnswered, &loop, &QEventLoop::quit);
    if (!open_.empty()) {
        loop.exec();
    }
    return invoked_;
}

void DesktopNotices::actionInvoked(quint32 id, const QString& action) {
    if (open_.erase(id) > 0 && action == kInstallAction) {
        invoked_ << id;
    }
    if (open_.empty()) {
        Q_EMIT allAnswered();
    }
}

void DesktopNotices::notificationClosed(quint32 id, quint32) {
    if (open_.erase(id) > 0 && open_.empty()) {
        Q_EMIT allAnswered();
    }
}

}  // namespace selvanix::cli
