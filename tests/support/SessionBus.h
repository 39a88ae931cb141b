#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

namespace selvanix::test {

// A private session bus (dbus-daemon --session) of a test's own, stopped when the object goes.
class SessionBus {
public:
    // With activatable, the bus starts python3-dbusmock's notification daemon itself when the
    // notification interface is first called, as many desktops do.
    explicit SessionBus(bool activatable = false);
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;
    ~SessionBus();

    bool ok() const { return !address_.isEmpty(); }
    // What DBUS_SESSION_BUS_ADDRESS names for it.
    const QString& address() const { return address_; }

    // python3-dbusmock's notification daemon on the bus, its calls logged; false when it did
    // not come up.
    bool startNotificationServer();
    // python3-dbusmock's NetworkManager on the bus (a test points DBUS_SYSTEM_BUS_ADDRESS at
    // it), its Metered property set to the NMMetered value.
    bool startNetworkManager(uint metered);
    // The Notify calls the server took so far, a log line each.
    QStringList notifyCalls() const;
    // Makes the server send a signal of its interface, as a desktop does when the user acts.
    bool emitNotificationSignal(const QString& name, const QString& signature,
                                const QVariantList& args) const;

private:
    // A dbusmock template on this bus, once the service answers a call of probe.
    bool startTemplate(const QString& name, const QString& service, const QString& path,
                       const QString& probe);

    QTemporaryDir folder_;
    QProcess daemon_;
    QProcess server_;
    QString address_;
};

}  // namespace selvanix::test
