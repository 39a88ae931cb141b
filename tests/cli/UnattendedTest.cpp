// update --all and the daily service installing within the administrator's rules: each
// target on its own, looked at again first, no program started, cool-down and metered
// connections honoured.
#include "PausePoint.h"
#include "UpdatesFixture.h"
#include "VersionsFixture.h"
#include "engine/Rollout.h"
#include "support/SessionBus.h"

#include <unistd.h>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

namespace selvanix::test {
namespace {

class Unattended : public UpdatesFixture {
protected:
    Unattended() : UpdatesFixture(Program::Hooked) {
        // Never the machine's own NetworkManager: a test says whether there is one.
        env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + root.path() + "/no-system-bus";
        env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + root.path() + "/no-session-bus";
    }
    // This copy first saw release 14,minor that many seconds ago.
    void seenAgo(int minor, qint64 seconds) {
        const QByteArray version = QUrl::toPercentEncoding(QStringLiteral("14,%1").arg(minor));
        const qint64 at = QDateTime::currentSecsSinceEpoch() - seconds;
        writeBytes(host() + "/seen.list",
                   "selvanix-seen 1\nbrodelik " + version + ' ' + QByteArray::number(at) + '\n');
    }
    CliRun updateAll() { return run({"update", "--all", "--json"}); }
    static QString action(const CliRun& r, const QString& target) {
        return targets(r).at(target).value("action").toString();
    }
    QString installedVersion(const QString& target) {
        return targets(run({"list", "--json"})).at(target).value("installed_version").toString();
    }
};

TEST_F(Unattended, EachTargetIsItsOwnTransactionLookedAtAgainAndNothingIsStarted) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    const QString good = folder("good");
    const QString broken = folder("broken");
    const QString swapped = folder("swapped");
    const QString open = folder("open");
    const QString gone = folder("gone");
    install({good, broken, swapped, open, gone});
    for (const QString& t : {good, broken, swapped, open}) {
        QFile::remove(t + "/started.txt");
    }
    // A folder where the package's file goes: that target's extraction fails.
    QFile::remove(broken + "/data/brodelik.sql");
    QDir().mkpath(broken + "/data/brodelik.sql/in-the-way");
    // Anyone may write here: root leaves it to a person.
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    QDir(gone).removeRecursively();

    publish(25);
    // Held once the package is fetched, after the check looked at every target.
    const QString pauses = folder("pauses");
    QDir().mkpath(pauses);
    const Pause before(pauses, "unattended");
    std::map<QString, QString> saved = env;
    before.arm(env);
    QProcess* run = start({"update", "--all", "--json"});
    env = saved;
    ASSERT_TRUE(before.reached(*run));
    // The remembered folder moved away and a link put at its path, to a copy with a record.
    ASSERT_TRUE(QDir().rename(swapped, folder("swapped-away")));
    const QString elsewhere = folder("elsewhere");
    QDir().mkpath(elsewhere + "/.selvanix");
    QFile::copy(good + "/.selvanix/manifest", elsewhere + "/.selvanix/manifest");
    ASSERT_TRUE(QFile::link(elsewhere, swapped));
    const auto elsewhereBefore = hashes(elsewhere);
    before.release();
    ASSERT_TRUE(run->waitForFinished(60000));
    CliRun updated;
    updated.exitCode = run->exitCode();
    updated.out = run->readAllStandardOutput();

    EXPECT_EQ(updated.exitCode, 6) << updated.out.toStdString();
    EXPECT_EQ(action(updated, good), "updated");
    EXPECT_EQ(action(updated, broken), "failed");
    EXPECT_EQ(action(updated, swapped), "failed");
    EXPECT_TRUE(targets(updated).at(swapped).value("reason").toString().contains("už není ta"))
        << updated.out.toStdString();
    EXPECT_EQ(action(updated, gone), "gone");
    EXPECT_TRUE(updated.outcome().value("changed").toBool());

    EXPECT_EQ(installedVersion(good), "14,25");
    EXPECT_EQ(installedVersion(broken), "14,20") << "a failed target keeps what it held";
    EXPECT_EQ(hashes(elsewhere), elsewhereBefore) << "nothing through the planted link";
    if (::geteuid() == 0) {
        EXPECT_EQ(action(updated, open), "failed");
        EXPECT_TRUE(targets(updated).at(open).value("reason").toString().contains("jiní"));
        EXPECT_EQ(installedVersion(open), "14,20");
    } else {
        EXPECT_EQ(action(updated, open), "updated");
    }
    for (const QString& t : {good, broken, open}) {
        EXPECT_FALSE(QFileInfo::exists(t + "/started.txt")) << t.toStdString();
    }
}

TEST_F(Unattended, WithoutAKeyNothingInstallsAndTheReleaseWaits) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    install({folder("a")});
    publish(25);
    settings(false);
    const CliRun unkeyed = updateAll();
    EXPECT_EQ(unkeyed.exitCode, 11) << unkeyed.out.toStdString();
    EXPECT_EQ(action(unkeyed, folder("a")), "held");
    EXPECT_EQ(installedVersion(folder("a")), "14,20");
    EXPECT_EQ(run({"update", "--json"}).exitCode, 2) << "update is for every target at once";
}

TEST_F(Unattended, AReleaseWaitsItsCoolDownFromTheLaterOfItsDateAndItsFirstSight) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    const QString a = folder("a");
    install({a});
    settings(true, "cooldowndays=2\r\n");
    const qint64 day = 24 * 3600;

    publish(25);
    seenAgo(25, 2 * day - 60);
    const CliRun early = updateAll();
    EXPECT_EQ(early.exitCode, 11) << early.out.toStdString();
    EXPECT_EQ(action(early, a), "held");
    EXPECT_EQ(installedVersion(a), "14,20");

    seenAgo(25, 2 * day + 60);
    const CliRun due = updateAll();
    EXPECT_EQ(due.exitCode, 0) << due.out.toStdString() << due.err.toStdString();
    EXPECT_EQ(action(due, a), "updated");
    EXPECT_EQ(installedVersion(a), "14,25");

    // Seen long ago, but dated yesterday: the date counts.
    const QString yesterday = QDate::currentDate().addDays(-1).toString("d.M.yyyy");
    publish(26, {}, yesterday);
    seenAgo(26, 5 * day);
    EXPECT_EQ(action(updateAll(), a), "held");
    // A date that cannot be read counts as absent.
    publish(27, {}, QStringLiteral("soon"));
    seenAgo(27, 3 * day);
    EXPECT_EQ(action(updateAll(), a), "updated");
    EXPECT_EQ(installedVersion(a), "14,27");

    // A release never seen before waits from now.
    publish(28);
    QFile::remove(host() + "/seen.list");
    EXPECT_EQ(action(updateAll(), a), "held");
}

TEST_F(Unattended, AMeteredConnectionWaitsUnlessThePolicyAllowsIt) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    const QString a = folder("a");
    install({a});
    settings();
    // NMMetered: yes 1, no 2, guess-yes 3, guess-no 4.
    const auto withNetworkManager = [this](uint metered) {
        auto bus = std::make_unique<SessionBus>();
        EXPECT_TRUE(bus->ok() && bus->startNetworkManager(metered));
        env["DBUS_SYSTEM_BUS_ADDRESS"] = bus->address();
        return bus;
    };
    publish(25);
    for (const uint held : {1u, 3u}) {
        const auto bus = withNetworkManager(held);
        const CliRun waits = updateAll();
        EXPECT_EQ(waits.exitCode, 11) << held << waits.out.toStdString();
        EXPECT_TRUE(targets(waits).at(a).value("reason").toString().contains("objemu dat"));
    }
    EXPECT_EQ(installedVersion(a), "14,20");
    {
        const auto bus = withNetworkManager(2);
        EXPECT_EQ(action(updateAll(), a), "updated");
    }
    publish(26);
    {
        const auto bus = withNetworkManager(4);
        EXPECT_EQ(action(updateAll(), a), "updated");
    }
    publish(27);
    {
        const SessionBus bus;  // a system bus, but no NetworkManager on it
        ASSERT_TRUE(bus.ok());
        env["DBUS_SYSTEM_BUS_ADDRESS"] = bus.address();
        EXPECT_EQ(action(updateAll(), a), "updated");
    }
    publish(28);
    settings(true, "metered=install\r\n");
    {
        const auto bus = withNetworkManager(1);
        EXPECT_EQ(action(updateAll(), a), "updated");
    }
    EXPECT_EQ(installedVersion(a), "14,28");
    settings(true, "metered=sometimes\r\n");
    const CliRun odd = updateAll();
    EXPECT_EQ(odd.exitCode, 2);
    EXPECT_TRUE(odd.err.contains("metered=sometimes")) << odd.err.toStdString();
}

TEST_F(Unattended, TheDailyServiceInstallsWhatThePolicyLetsThroughAndTellsOfTheRest) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    SessionBus desktop;
    ASSERT_TRUE(desktop.ok() && desktop.startNotificationServer());
    env["DBUS_SESSION_BUS_ADDRESS"] = desktop.address();
    publish(20);
    const QString a = folder("a");
    install({a});
    settings(true, "unattended=install\r\ncooldowndays=2\r\n");
    publish(25);

    // Within its cool-down the release is told of, not installed.
    QProcess* service = start({"notify"});
    const QDeadlineTimer deadline(20000);
    while (desktop.notifyCalls().isEmpty() && !deadline.hasExpired()) {
        QThread::msleep(50);
    }
    ASSERT_EQ(desktop.notifyCalls().size(), 1);
    ASSERT_TRUE(desktop.emitNotificationSignal("NotificationClosed", "uu", {1u, 2u}));
    ASSERT_TRUE(service->waitForFinished(10000));
    EXPECT_EQ(service->exitCode(), 11);
    EXPECT_EQ(installedVersion(a), "14,20");

    // Past it, installed without a word on the desktop and without starting the program.
    QFile::remove(a + "/started.txt");
    publish(26);
    seenAgo(26, 3 * 24 * 3600);
    const CliRun installed = run({"notify", "--json"});
    EXPECT_EQ(installed.exitCode, 0) << installed.out.toStdString();
    EXPECT_EQ(installedVersion(a), "14,26");
    EXPECT_EQ(desktop.notifyCalls().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(a + "/started.txt"));
}

// A machine whose bucket for the release is below (or not below) half.
QByteArray machineWhere(bool belowHalf, const QString& version) {
    for (int n = 0;; ++n) {
        const QByteArray id = QByteArray::number(n, 16).rightJustified(32, '0');
        if ((rolloutBucket(id, "brodelik", version) < 50) == belowHalf) {
            return id;
        }
    }
}

TEST_F(Unattended, AStagedRolloutReachesItsShareAndAPersonGetsTheReleaseAnyway) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    const QString a = folder("a");
    install({a});
    const auto onMachine = [this](const QByteArray& id) {
        writeBytes(root.path() + "/machine-id", id + '\n');
        env["SELVANIX_MACHINE_ID_FILE"] = root.path() + "/machine-id";
    };
    const QByteArray first = machineWhere(true, "14,25");
    const QByteArray later = machineWhere(false, "14,25");
    publish(25);

    publishRollout(0);  // published, and stopped at once
    for (const QByteArray& id : {first, later}) {
        onMachine(id);
        const CliRun held = run({"check", "--json"});
        EXPECT_EQ(held.exitCode, 0) << held.out.toStdString();
        EXPECT_EQ(targets(held).at(a).value("status"), "held back by rollout");
        EXPECT_EQ(action(updateAll(), a), "rollout");
    }
    publishRollout(50);
    onMachine(later);
    EXPECT_EQ(run({"check", "--json"}).exitCode, 0);
    EXPECT_EQ(action(updateAll(), a), "rollout");
    onMachine(first);
    const CliRun offered = run({"check", "--json"});
    EXPECT_EQ(offered.exitCode, 11) << offered.out.toStdString();
    EXPECT_EQ(targets(offered).at(a).value("rollout"), 50);
    EXPECT_EQ(installedVersion(a), "14,20");

    // Whatever the rollout, the administrator who asks gets the release.
    publishRollout(0);
    onMachine(later);
    const CliRun asked = run({"install", "--product", "brodelik", "--target", a, "--json"});
    EXPECT_EQ(asked.exitCode, 0) << asked.out.toStdString();
    EXPECT_EQ(installedVersion(a), "14,25");

    // Widened to everyone: the later machine takes the next one unattended.
    publish(26);
    writeBytes(www() + "/upgrade-brodelik.zip.index", "");
    EXPECT_EQ(action(updateAll(), a), "updated") << "no index: everyone";
    publish(27);
    publishRollout(100);
    EXPECT_EQ(action(updateAll(), a), "updated");
    EXPECT_EQ(installedVersion(a), "14,27");
}

TEST_F(Unattended, WithoutAMachineIdARandomOneIsKeptInTheDataFolder) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    install({folder("a")});
    publish(25);
    publishRollout(50);
    env["SELVANIX_MACHINE_ID_FILE"] = root.path() + "/no-machine-id";
    ASSERT_NE(run({"check"}).exitCode, 3);
    const QByteArray kept = readBytes(host() + "/machine.id");
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{32}\n$").match(QString::fromLatin1(kept)).hasMatch())
        << kept.toStdString();
    run({"check"});
    EXPECT_EQ(readBytes(host() + "/machine.id"), kept) << "the same id every run";
}

}  // namespace
}  // namespace selvanix::test
