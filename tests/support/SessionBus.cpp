#include "SessionBus.h"

#include "TestDrives.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

namespace selvanix::test {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

}  // namespace

SessionBus::SessionBus(bool activatable) {
    QStringList args{QStringLiteral("--nofork"), QStringLiteral("--print-address=1")};
    if (activatable) {
        const QString services = folder_.path() + "/services";
        QDir().mkpath(services);
        writeBytes(services + "/org.freedesktop.Notifications.service",
                   "[D-BUS Service]\nName=org.freedesktop.Notifications\n"
                   "Exec=/usr/bin/python3 -m dbusmock --template notification_daemon -l " +
                       QFile::encodeName(folder_.path()) + "/notification_daemon.log\n");
        writeBytes(folder_.path() + "/bus.conf",
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                   "busconfig.dtd\">\n<busconfig><type>session</type><listen>unix:path=" +
                       QFile::encodeName(folder_.path()) + "/bus</listen><servicedir>" +
                       QFile::encodeName(services) +
                       "</servicedir><policy context=\"default\"><allow send_destination=\"*\" "
                       "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                       "</policy></busconfig>\n");
        args << QStringLiteral("--config-file=") + folder_.path() + "/bus.conf";
    } else {
        args << QStringLiteral("--session")
             << QStringLiteral("--address=unix:path=") + folder_.path() + "/bus";
    }
    daemon_.start(QStringLiteral("dbus-daemon"), args);
    if (!daemon_.waitForStarted(5000)) {
        return;
    }
    const QDeadlineTimer deadline(10000);
    QByteArray printed;
    while (!printed.contains('\n') && !deadline.hasExpired() &&
           daemon_.state() == QProcess::Running) {
        daemon_.waitForReadyRead(100);
        printed += daemon_.readAllStandardOutput();
    }
    address_ = QString::fromUtf8(printed.trimmed());
}

SessionBus::~SessionBus() {
    QDBusConnection::disconnectFromBus(QStringLiteral("test-bus"));
    for (QProcess* p : {&server_, &daemon_}) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
}

bool SessionBus::startTemplate(const QString& name, const QString& service, const QString& path,
                               const QString& probe) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
    server_.setProcessEnvironment(env);
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's python3, where python3-dbusmock lies, whatever python3 the PATH finds first.
    server_.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                   name, QStringLiteral("-l"), folder_.path() + "/" + name + ".log"});
    const QDeadlineTimer deadline(15000);
    QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("test-bus"));
    while (!deadline.hasExpired() && server_.state() != QProcess::NotRunning) {
        const QDBusMessage reply =
            bus.call(QDBusMessage::createMethodCall(service, path, service, probe));
        if (reply.type() == QDBusMessage::ReplyMessage) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

bool SessionBus::startNotificationServer() {
    return startTemplate(QStringLiteral("notification_daemon"), kService, kPath,
                         QStringLiteral("GetServerInformation"));
}

bool SessionBus::startNetworkManager(uint metered) {
    const QString service = QStringLiteral("org.freedesktop.NetworkManager");
    const QString path = QStringLiteral("/org/freedesktop/NetworkManager");
    if (!startTemplate(QStringLiteral("networkmanager"), service, path, QStringLiteral("state"))) {
        return false;
    }
    QDBusMessage add = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddProperty"));
    add << service << QStringLiteral("Metered") << QVariant::fromValue(QDBusVariant(metered));
    return QDBusConnection::connectToBus(address_, QStringLiteral("test-bus")).call(add).type() ==
           QDBusMessage::ReplyMessage;
}

QStringList SessionBus::notifyCalls() const {
    QFile log(folder_.path() + "/notification_daemon.log");
    if (!log.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts).filter(u" Notify ");
}

bool SessionBus::emitNotificationSignal(const QString& name, const QString& signature,
                                        const QVariantList& args) const {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"));
    call << kService << name << signature << args;
    const QDBusMessage reply =
        QDBusConnection::connectToBus(address_, QStringLiteral("test-bus")).call(call);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace selvanix::test
