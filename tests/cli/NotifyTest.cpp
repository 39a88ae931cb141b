// The daily service: a notification on a real session bus for each new release, its action
// opening the window for that target, and silence where there is no desktop to tell.
#include "UpdatesFixture.h"
#include "support/SessionBus.h"

#include <sys/types.h>
#include <QDeadlineTimer>
#include <QThread>
#include <csignal>

namespace selvanix::test {
namespace {

class Notify : public UpdatesFixture {
protected:
    ~Notify() override {
        for (const pid_t pid : windows_) {
            ::kill(pid, SIGKILL);
        }
    }
    // The private bus with a notification server, for the commands this test runs.
    bool desktop() {
        if (!bus.ok() || !bus.startNotificationServer()) {
            return false;
        }
        onBus(bus);
        return true;
    }
    void onBus(const SessionBus& bus) {
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
        // The window an action opens draws nowhere.
        env["QT_QPA_PLATFORM"] = "offscreen";
    }
    // Waits for the service to show count notifications.
    static bool shown(const SessionBus& bus, int count) {
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && bus.notifyCalls().size() < count) {
            QThread::msleep(50);
        }
        return bus.notifyCalls().size() == count;
    }
    // The arguments of a copy of this test's Selvanix started since, once it is there.
    QStringList windowArguments() {
        const QDeadlineTimer deadline(10000);
        const QString program = QFileInfo(host() + "/selvanix").canonicalFilePath();
        while (!deadline.hasExpired()) {
            for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
                if (QFileInfo("/proc/" + pid + "/exe").symLinkTarget() != program) {
                    continue;
                }
                QFile cmdline("/proc/" + pid + "/cmdline");
                if (!cmdline.open(QIODevice::ReadOnly)) {
                    continue;
                }
                const QList<QByteArray> parts = cmdline.readAll().split('\0');
                if (parts.contains("--product")) {
                    windows_.push_back(pid.toInt());
                    QStringList args;
                    for (const QByteArray& part : parts.mid(1)) {
                        if (!part.isEmpty()) {
                            args << QString::fromUtf8(part);
                        }
                    }
                    return args;
                }
            }
            QThread::msleep(50);
        }
        return {};
    }
    SessionBus bus;
    std::vector<pid_t> windows_;
};

TEST_F(Notify, ANewReleaseIsShownOnceAndItsActionOpensTheWindowForThatTarget) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    ASSERT_TRUE(desktop());
    publish(20);
    // A folder name a markup reader would take for a tag.
    const QString target = folder("brodelik <b>&");
    install({target});
    publish(25);

    QProcess* service = start({"notify"});
    ASSERT_TRUE(shown(bus, 1)) << bus.notifyCalls().join(u'\n').toStdString();
    const QString call = bus.notifyCalls().first();
    EXPECT_TRUE(call.contains("Nová verze programu Brodělík")) << call.toStdString();
    EXPECT_TRUE(call.contains("verze 14,25")) << call.toStdString();
    EXPECT_TRUE(call.contains(folder("brodelik &lt;b&gt;&amp;"))) << call.toStdString();
    EXPECT_TRUE(call.contains("Instalovat")) << call.toStdString();
    // Still waiting for the user: nothing installs meanwhile.
    EXPECT_FALSE(service->waitForFinished(300));
    ASSERT_TRUE(bus.emitNotificationSignal("ActionInvoked", "us", {1u, QStringLiteral("install")}));
    ASSERT_TRUE(service->waitForFinished(10000));
    EXPECT_EQ(service->exitCode(), 11) << service->readAllStandardError().toStdString();

    EXPECT_EQ(windowArguments(), QStringList({"--product", "brodelik", "--target", target}));
    const CliRun listed = run({"list", "--json"});
    EXPECT_EQ(targets(listed).at(target).value("installed_version"), "14,20")
        << "the action only opens the window";

    // The same release for the same target is not shown again; the service ends at once.
    const CliRun again = run({"notify"});
    EXPECT_EQ(again.exitCode, 11);
    EXPECT_EQ(bus.notifyCalls().size(), 1);

    // A later release is news again; closing it opens nothing.
    publish(26);
    QProcess* later = start({"notify"});
    ASSERT_TRUE(shown(bus, 2));
    ASSERT_TRUE(bus.emitNotificationSignal("NotificationClosed", "uu", {2u, 2u}));
    ASSERT_TRUE(later->waitForFinished(10000));
    EXPECT_EQ(later->exitCode(), 11);
}

TEST_F(Notify, TwoServicesAtOnceShowAReleaseOnce) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    ASSERT_TRUE(desktop());
    publish(20);
    install({folder("a")});
    publish(25);
    QProcess* one = start({"notify"});
    QProcess* two = start({"notify"});
    ASSERT_TRUE(shown(bus, 1));
    // Whichever showed it waits; the other ended once it found it shown.
    QThread::msleep(500);
    EXPECT_EQ(bus.notifyCalls().size(), 1);
    ASSERT_TRUE(bus.emitNotificationSignal("NotificationClosed", "uu", {1u, 2u}));
    EXPECT_TRUE(one->waitForFinished(10000));
    EXPECT_TRUE(two->waitForFinished(10000));
    EXPECT_EQ(bus.notifyCalls().size(), 1);
}

TEST_F(Notify, ANotificationServerTheBusStartsOnDemandIsUsed) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    SessionBus onDemand(true);
    ASSERT_TRUE(onDemand.ok());
    onBus(onDemand);
    publish(20);
    install({folder("a")});
    publish(25);
    QProcess* service = start({"notify"});
    ASSERT_TRUE(shown(onDemand, 1)) << service->readAllStandardError().toStdString();
    ASSERT_TRUE(onDemand.emitNotificationSignal("NotificationClosed", "uu", {1u, 2u}));
    ASSERT_TRUE(service->waitForFinished(10000));
    EXPECT_EQ(service->exitCode(), 11);
}

TEST_F(Notify, NothingIsShownForAReleaseThatIsNotVerifiedOrNotThere) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    ASSERT_TRUE(desktop());
    publish(20);
    install({folder("a")});

    Values tampered;
    tampered.verze = QStringLiteral("99,0");
    publish(22, tampered);
    EXPECT_EQ(run({"notify"}).exitCode, 4);

    publish(23);
    settings(false);
    EXPECT_EQ(run({"notify"}).exitCode, 11) << "reported, but without a key never announced";

    settings(true);
    nginx.reset();
    EXPECT_EQ(run({"notify"}).exitCode, 3);
    EXPECT_TRUE(bus.notifyCalls().isEmpty()) << bus.notifyCalls().join(u'\n').toStdString();
}

TEST_F(Notify, WithoutABusOrANotificationServerNothingIsShownOrFetched) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    install({folder("a")});
    publish(25);
    served();

    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + root.path() + "/no-bus";
    const CliRun noBus = run({"notify", "--json"});
    EXPECT_EQ(noBus.exitCode, 0) << noBus.err.toStdString();
    EXPECT_TRUE(noBus.out.isEmpty()) << noBus.out.toStdString();

    ASSERT_TRUE(bus.ok());  // a bus, but nothing on it shows notifications
    onBus(bus);
    const CliRun noServer = run({"notify", "--json"});
    EXPECT_EQ(noServer.exitCode, 0) << noServer.err.toStdString();
    EXPECT_TRUE(noServer.out.isEmpty()) << noServer.out.toStdString();
    EXPECT_TRUE(served().isEmpty());
}

}  // namespace
}  // namespace selvanix::test
