#include "MeteredConnection.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace selvanix::cli {

namespace {

// NMMetered: unknown 0, yes 1, no 2, guess-yes 3, guess-no 4.
constexpr uint kYes = 1;
constexpr uint kGuessYes = 3;

}  // namespace

Metered meteredConnection() {
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return Metered::Unknown;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.NetworkManager"),
        QStringLiteral("/org/freedesktop/NetworkManager"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.NetworkManager") << QStringLiteral("Metered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return Metered::Unknown;
    }
    const uint metered = reply.arguments().first().value<QDBusVariant>().variant().toUInt();
    return metered == kYes || metered == kGuessYes ? Metered::Yes : Metered::No;
}

}  // namespace selvanix::cli
