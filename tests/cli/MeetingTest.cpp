// Two runs that meet in a target or in the installer's folder: one of them waits or says the
// target is busy, none takes the other's journal for a dead run's, and what each reports is
// what it did. Runs are held at pause points (test builds only) while the second one starts.
#include "PausePoint.h"
#include "VersionsFixture.h"

#include "support/OtherUser.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <random>

namespace selvanix::test {
namespace {

// The names whose bytes differ between two states, for a failure's message.
QString differences(const std::map<QString, QByteArray>& a,
                    const std::map<QString, QByteArray>& b) {
    QStringList names;
    for (const auto& [name, hash] : a) {
        if (!b.contains(name) || b.at(name) != hash) {
            names << name;
        }
    }
    for (const auto& [name, hash] : b) {
        if (!a.contains(name)) {
            names << u'-' + name;
        }
    }
    return names.join(u' ');
}

CliRun finish(QProcess& p) {
    CliRun result;
    EXPECT_TRUE(p.waitForFinished(60000));
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.out = p.readAllStandardOutput();
    result.err = p.readAllStandardError();
    return result;
}

class Meeting : public Versions {
protected:
    void SetUp() override {
        Versions::SetUp();
        QDir().mkpath(pauses());
        for (int i : {1, 2}) {
            QDir().mkpath(t(i));
        }
        offer(older);
        ASSERT_EQ(run(install({t(1), t(2)})).exitCode, 0);
        oldState = {hashes(t(1)), hashes(t(2))};
        offer(newer);
    }
    QString pauses() const { return root.path() + "/pauses"; }
    // Started with the pause armed; the environment of later runs is left as it was.
    QProcess* startHeld(const QStringList& args, const Pause& pause) {
        std::map<QString, QString> saved = env;
        pause.arm(env);
        QProcess* p = start(args);
        env = saved;
        return p;
    }
    CliRun runWaiting(const QStringList& args, int waitMs) {
        env["SELVANIX_LOCK_WAIT_MS"] = QString::number(waitMs);
        const CliRun result = run(args);
        env.erase("SELVANIX_LOCK_WAIT_MS");
        return result;
    }
    std::pair<std::map<QString, QByteArray>, std::map<QString, QByteArray>> oldState;
};

// A repair whose staged file another hand removed before the commit fails, changes nothing
// and names no file as repaired.
TEST_F(Meeting, ARepairWhoseCommitFailsNamesNothingRepaired) {
    offer(older);
    writeBytes(t(1) + "/brodelik.chm", "damaged");
    const Pause staged(pauses(), "repair-staged");
    QProcess* repair = startHeld({"repair", "--target", t(1), "--source", pkg(), "--json"}, staged);
    ASSERT_TRUE(staged.reached(*repair));
    const QStringList temporaries =
        QDir(t(1)).entryList({QStringLiteral(".brodelik.chm.*.tmp")}, QDir::Files | QDir::Hidden);
    ASSERT_EQ(temporaries.size(), 1) << leftovers(t(1)).join(u' ').toStdString();
    ASSERT_TRUE(QFile::remove(t(1) + u'/' + temporaries.front()));
    staged.release();
    ASSERT_TRUE(repair->waitForFinished(60000));
    const QByteArray out = repair->readAllStandardOutput();
    EXPECT_NE(repair->exitCode(), 0) << out.toStdString();
    EXPECT_FALSE(out.contains("\"repaired\"")) << out.toStdString();
    EXPECT_EQ(readBytes(t(1) + "/brodelik.chm"), QByteArray("damaged"));
}

TEST_F(Meeting, EveryCommandBesideAStagingRunSaysBusyAndLeavesItsStagedFilesAlone) {
    const Pause staged(pauses(), "staged");
    QProcess* first = startHeld(install({t(1)}), staged);
    ASSERT_TRUE(staged.reached(*first));
    const QStringList waiting = leftovers(t(1));
    ASSERT_TRUE(waiting.contains(".selvanix/journal"));
    ASSERT_GT(waiting.size(), 10);

    const QStringList others[] = {
        {"verify", "--target", t(1), "--json"},
        {"repair", "--target", t(1), "--source", pkg(), "--json"},
        {"rollback", "--target", t(1), "--json"},
        {"uninstall", "--target", t(1), "--json"},
        install({t(1)}),
    };
    for (const QStringList& args : others) {
        const CliRun busy = runWaiting(args, 300);
        EXPECT_EQ(busy.exitCode, 10) << args.join(' ').toStdString() << busy.out.toStdString();
        EXPECT_EQ(busy.outcome().value("outcome").toString(), QStringLiteral("target busy"));
        EXPECT_EQ(busy.outcome().value("exit").toInt(), 10);
        EXPECT_FALSE(busy.outcome().value("changed").toBool());
        EXPECT_TRUE(busy.event("target-busy").value("reason").toString().contains(t(1)))
            << busy.out.toStdString();
        EXPECT_EQ(leftovers(t(1)), waiting) << args.join(' ').toStdString();
    }
    staged.release();
    const CliRun done = finish(*first);
    EXPECT_EQ(done.exitCode, 0) << done.out.toStdString();
    EXPECT_TRUE(done.outcome().value("changed").toBool());
    EXPECT_EQ(run({"verify", "--target", t(1)}).exitCode, 0);
    EXPECT_EQ(readBytes(t(1) + "/brodelik.exe"), kProgram + "# 2\n");
    EXPECT_TRUE(leftovers(t(1)).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(t(1) + "/.selvanix/lock")) << "a lock lasts as long as a run";
}

// A check, a list and another installation beside a staging run: none waits for it or
// disturbs it, and both installations stay remembered.
TEST_F(Meeting, ACheckAndAnotherInstallationBesideAStagingRunLeaveItAndTheListWhole) {
    const QString t3 = root.path() + "/t3";
    QDir().mkpath(t3);
    const Pause staged(pauses(), "staged");
    QProcess* first = startHeld(install({t(1)}), staged);
    ASSERT_TRUE(staged.reached(*first));
    const QStringList waiting = leftovers(t(1));

    const CliRun check = runWaiting({"check", "--source", pkg(), "--json"}, 300);
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();
    EXPECT_EQ(check.outcome().value("outcome"), "current");
    EXPECT_EQ(run(install({t3})).exitCode, 0);
    EXPECT_EQ(leftovers(t(1)), waiting);

    staged.release();
    EXPECT_EQ(finish(*first).exitCode, 0);
    QStringList listed;
    for (const QJsonObject& e : run({"list", "--json"}).events()) {
        if (e.value("event") == "target" && e.value("state") == "present") {
            listed << e.value("target").toString();
        }
    }
    listed.sort();
    EXPECT_EQ(listed, QStringList({t(1), t(2), t3}));
}

TEST_F(Meeting, ASecondRunWaitsUpToTenSecondsAndGoesOnOnceTheFirstEnds) {
    const Pause staged(pauses(), "staged");
    QProcess* first = startHeld(install({t(1), t(2)}), staged);
    ASSERT_TRUE(staged.reached(*first));
    // The usual wait, whole.
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(run({"verify", "--target", t(2)}).exitCode, 10);
    EXPECT_GE(timer.elapsed(), 9500);
    EXPECT_LT(timer.elapsed(), 20000);
    // A verify that finds the target busy waits; the first run ends meanwhile.
    const Pause busy(pauses(), "busy");
    QProcess* second = startHeld({"verify", "--target", t(2), "--json"}, busy);
    ASSERT_TRUE(busy.reached(*second));
    busy.release();
    staged.release();
    EXPECT_EQ(finish(*first).exitCode, 0);
    const CliRun verified = finish(*second);
    EXPECT_EQ(verified.exitCode, 0) << verified.out.toStdString();
    EXPECT_EQ(verified.outcome().value("outcome").toString(), QStringLiteral("verified"));
}

TEST_F(Meeting, TwoRunsOfOneProductFromTheServerFetchOneAtATime) {
    writeSettings();
    servePackage(newer);
    const QString t3 = root.path() + "/t3";
    QDir().mkpath(t3);
    const QStringList fromServer{"install",  "--product", "brodelik", "--source",
                                 "internet", "--json",    "--target"};
    const Pause staged(pauses(), "staged");
    QProcess* first = startHeld(fromServer + QStringList{t(1)}, staged);
    ASSERT_TRUE(staged.reached(*first));
    // Another target, the same downloads: the second run waits, then gives up untouched.
    const CliRun busy = runWaiting(fromServer + QStringList{t3}, 300);
    EXPECT_EQ(busy.exitCode, 10) << busy.out.toStdString();
    const QString reason = busy.event("target-busy").value("reason").toString();
    EXPECT_TRUE(reason.contains(QStringLiteral("brodelik")) && reason.contains(host()))
        << reason.toStdString();
    EXPECT_TRUE(busy.event("download").isEmpty()) << "nothing fetched beside the first run";
    EXPECT_TRUE(hashes(t3).empty());
    staged.release();
    EXPECT_EQ(finish(*first).exitCode, 0);
    const CliRun after = run(fromServer + QStringList{t3});
    EXPECT_EQ(after.exitCode, 0) << after.out.toStdString();
    EXPECT_EQ(run({"verify", "--target", t3}).exitCode, 0);
    EXPECT_EQ(readBytes(t3 + "/brodelik.exe"), kProgram + "# 2\n");
    EXPECT_FALSE(QFileInfo::exists(host() + "/.upgrade-brodelik.lock"));
}

TEST_F(Meeting, AStagedFileRemovedBeforeTheCommitFailsTheRunWithNothingChanged) {
    const Pause commit(pauses(), "commit");
    QProcess* first = startHeld(install({t(1), t(2)}), commit);
    ASSERT_TRUE(commit.reached(*first));
    QString removed;
    for (const QString& name : leftovers(t(2))) {
        if (name.startsWith(QLatin1String(".brodelik.chm."))) {
            removed = name;
        }
    }
    ASSERT_FALSE(removed.isEmpty()) << leftovers(t(2)).join(' ').toStdString();
    ASSERT_TRUE(QFile::remove(t(2) + u'/' + removed));
    commit.release();
    const CliRun failed = finish(*first);
    EXPECT_EQ(failed.exitCode, 6) << failed.out.toStdString();
    const QString reason = failed.outcome().value("reason").toString();
    EXPECT_TRUE(reason.contains(QStringLiteral("brodelik.chm")) && reason.contains(t(2)))
        << reason.toStdString();
    EXPECT_FALSE(failed.outcome().value("changed").toBool());
    EXPECT_TRUE(failed.event("program-started").isEmpty());
    EXPECT_EQ(hashes(t(1)), oldState.first);
    EXPECT_EQ(hashes(t(2)), oldState.second);
    EXPECT_TRUE(leftovers(t(1)).isEmpty());
    EXPECT_TRUE(leftovers(t(2)).isEmpty());

    // Gone after the commit record, with its destination still old: the journal stays and
    // every later touch says which file it lacks.
    const QByteArray lost =
        "selvanix-journal 1\nkind install\ntag 0123456789abcdef\nstage "
        "brodelik.chm\nwritten 12345678 20 brodelik.chm\ncommit\n";
    writeBytes(t(2) + "/.selvanix/journal", lost);
    for (const QStringList& args :
         {QStringList{"verify", "--target", t(2), "--json"}, install({t(2)})}) {
        const CliRun stuck = run(args);
        EXPECT_EQ(stuck.exitCode, 6) << stuck.out.toStdString();
        EXPECT_TRUE(stuck.outcome().value("reason").toString().contains("brodelik.chm"));
        EXPECT_EQ(readBytes(t(2) + "/.selvanix/journal"), lost);
    }
    EXPECT_EQ(hashes(t(2)).erase(".selvanix/journal"), 1u);
}

TEST_F(Meeting, EntriesWhoseLongNamesShareTheirStartEachGetTheirOwnBytes) {
    ZipWriter zip;
    const QByteArray shared(232, 'n');
    const QByteArray one = shared + "_first.dll";
    const QByteArray two = shared + "_other.dll";
    ASSERT_EQ(one.size(), 242);
    for (const auto& [name, data] : {std::pair{QByteArray("brodelik.exe"), kProgram},
                                     {one, QByteArray("first's bytes")},
                                     {two, QByteArray("the other's bytes")}}) {
        ZipEntry e;
        e.name = name;
        e.data = data;
        zip.entries.push_back(e);
    }
    offer(zip.build());
    const QString t3 = root.path() + "/t3";
    QDir().mkpath(t3);
    const CliRun done = run(install({t3}));
    EXPECT_EQ(done.exitCode, 0) << done.out.toStdString();
    EXPECT_EQ(readBytes(t3 + u'/' + QString::fromLatin1(one)), QByteArray("first's bytes"));
    EXPECT_EQ(readBytes(t3 + u'/' + QString::fromLatin1(two)), QByteArray("the other's bytes"));
    EXPECT_EQ(run({"verify", "--target", t3}).exitCode, 0);
}

TEST_F(Meeting, AStopOnceTheCommitBeganFinishesItAndStartsNoProgram) {
    for (int i : {1, 2}) {
        QFile::remove(t(i) + "/started.txt");
    }
    const Pause committing(pauses(), "committing");
    QProcess* first = startHeld(install({t(1), t(2)}), committing);
    ASSERT_TRUE(committing.reached(*first));
    stopHeld(*first, SIGTERM);
    committing.release();
    const CliRun done = finish(*first);
    EXPECT_EQ(done.exitCode, 0) << done.out.toStdString();
    EXPECT_EQ(done.outcome().value("outcome").toString(), QStringLiteral("installed"));
    EXPECT_TRUE(done.outcome().value("changed").toBool());
    const QString reason = done.event("programs-not-started").value("reason").toString();
    EXPECT_FALSE(reason.isEmpty()) << done.out.toStdString();
    EXPECT_EQ(done.outcome().value("reason").toString(), reason);
    EXPECT_TRUE(done.event("program-started").isEmpty());
    for (int i : {1, 2}) {
        EXPECT_FALSE(QFileInfo::exists(t(i) + "/started.txt"));
        EXPECT_EQ(run({"verify", "--target", t(i)}).exitCode, 0);
        EXPECT_EQ(readBytes(t(i) + "/brodelik.exe"), kProgram + "# 2\n");
    }
    // A stop before the commit still changes nothing, and says so with exit 9.
    offer(older);
    const Pause staged(pauses(), "staged");
    QProcess* second = startHeld(install({t(1), t(2)}) << "--allow-downgrade", staged);
    ASSERT_TRUE(staged.reached(*second));
    stopHeld(*second, SIGTERM);
    staged.release();
    const CliRun stopped = finish(*second);
    EXPECT_EQ(stopped.exitCode, 9) << stopped.out.toStdString();
    EXPECT_FALSE(stopped.outcome().value("changed").toBool());
    EXPECT_EQ(readBytes(t(1) + "/brodelik.exe"), kProgram + "# 2\n");
}

// The lock's name in a folder another user may write: what that user plants there is never
// taken for a lock, and nothing is installed through it.
TEST_F(Meeting, ALockAnotherUserPlantedFailsTheTargetsCheckAndIsLeftAlone) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const QString shared = root.path() + "/shared";
    QDir().mkpath(shared);
    ::chmod(QFile::encodeName(root.path()).constData(), 0755);  // the test's own folders
    ::chmod(QFile::encodeName(shared).constData(), 0777);
    const QByteArray planted = runAsOtherUser([&] {
        return QDir().mkpath(shared + "/.selvanix") &&
                       QFile(shared + "/.selvanix/lock").open(QIODevice::WriteOnly)
                   ? QByteArray("planted")
                   : QByteArray("refused");
    });
    ASSERT_EQ(planted, QByteArray("planted"));
    const CliRun refused = run(install({shared}));
    EXPECT_EQ(refused.exitCode, 6) << refused.out.toStdString();
    EXPECT_TRUE(refused.outcome().value("reason").toString().contains(
        QStringLiteral("patří jinému uživateli (nobody)")))
        << refused.outcome().value("reason").toString().toStdString();
    EXPECT_FALSE(QFileInfo::exists(shared + "/brodelik.exe"));
    EXPECT_TRUE(QFileInfo::exists(shared + "/.selvanix/lock"));
    // A link planted at the name is not followed to what it names.
    writeBytes(root.path() + "/victim", "keep");
    QDir(shared + "/.selvanix").removeRecursively();
    QDir().mkpath(shared + "/.selvanix");
    ASSERT_EQ(::symlink(QFile::encodeName(root.path() + "/victim").constData(),
                        QFile::encodeName(shared + "/.selvanix/lock").constData()),
              0);
    const CliRun linked = run(install({shared}));
    EXPECT_EQ(linked.exitCode, 6) << linked.out.toStdString();
    EXPECT_EQ(readBytes(root.path() + "/victim"), QByteArray("keep"));
    EXPECT_FALSE(QFileInfo::exists(shared + "/brodelik.exe"));
}

// Another user may read what root installed: verify compares without a lock it may not open,
// and leaves root's files and journal alone.
TEST_F(Meeting, AnotherUserVerifiesATargetRootInstalled) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    for (const QString& folder : {root.path(), host(), stateHome()}) {
        QDir().mkpath(folder);
        ::chmod(QFile::encodeName(folder).constData(), 0755);  // the test's own folders
    }
    ::chmod(QFile::encodeName(stateHome()).constData(), 0777);
    const QString command = QStringLiteral(
                                "XDG_STATE_HOME=%1 %2/selvanix verify --target %3 "
                                ">/dev/null 2>&1")
                                .arg(stateHome(), host(), t(1));
    const auto verifyAsOther = [&] {
        return runAsOtherUser([&] {
            const int status = std::system(command.toLocal8Bit().constData());
            return QByteArray::number(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        });
    };
    EXPECT_EQ(verifyAsOther(), QByteArray("0"));
    // While root's run holds the target the other user cannot open its lock; the read finds the
    // old files whole (nothing is replaced before the commit) and changes nothing of the run.
    const Pause staged(pauses(), "staged");
    QProcess* first = startHeld(install({t(1)}), staged);
    ASSERT_TRUE(staged.reached(*first));
    const QStringList waiting = leftovers(t(1));
    EXPECT_EQ(verifyAsOther(), QByteArray("0"));
    EXPECT_EQ(leftovers(t(1)), waiting);
    staged.release();
    EXPECT_EQ(finish(*first).exitCode, 0);
    EXPECT_EQ(verifyAsOther(), QByteArray("0"));
}

// Rounds of two runs at random moments, one of them killed at a random moment: afterwards
// every target is wholly one version, and each finished run's exit code says what it did.
TEST_F(Meeting, RandomMeetingsAndKillsLeaveEveryTargetWhollyOneVersion) {
    const QString saved = root.path() + "/saved";
    for (int i : {1, 2}) {
        ASSERT_EQ(QProcess::execute("cp", {"-a", t(i), saved + QString::number(i)}), 0);
    }
    ASSERT_EQ(run(install({t(1), t(2)})).exitCode, 0);
    // Moments are drawn within a whole run's time, so kills land in every step: a warm run's,
    // as the rounds' runs are (the first run above reads everything cold, and takes longer).
    for (int i : {1, 2}) {
        QDir(t(i)).removeRecursively();
        ASSERT_EQ(QProcess::execute("cp", {"-a", saved + QString::number(i), t(i)}), 0);
    }
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(run(install({t(1), t(2)})).exitCode, 0);
    const int span = std::max<int>(50, static_cast<int>(timer.elapsed()));
    // What each version installs; the kept previous version depends on the way there.
    const auto installed = [](std::map<QString, QByteArray> files) {
        std::erase_if(files, [](const auto& file) {
            return file.first.startsWith(QLatin1String(".selvanix/previous/"));
        });
        return files;
    };
    const auto oldFiles = std::pair{installed(oldState.first), installed(oldState.second)};
    const auto newState = std::pair{installed(hashes(t(1))), installed(hashes(t(2)))};
    const unsigned seed = qEnvironmentVariableIsSet("SELVANIX_TEST_SEED")
                              ? qEnvironmentVariableIntValue("SELVANIX_TEST_SEED")
                              : std::random_device{}();
    std::printf("random meetings: seed %u (SELVANIX_TEST_SEED replays it), a run %d ms\n", seed,
                span);
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return static_cast<int>(random() % unsigned(n)); };
    const QStringList kinds{"install", "verify", "repair", "rollback"};
    std::map<QString, int> seen;
    // Forty rounds, and more (up to eighty) until kills have left both versions behind.
    for (int round = 0; round < 40 || (round < 80 && (seen["old"] == 0 || seen["new"] == 0));
         ++round) {
        // Half the rounds give up at once on a held target, so busy runs come too.
        env["SELVANIX_LOCK_WAIT_MS"] = pick(2) == 0 ? "0" : "3000";
        for (int i : {1, 2}) {
            QDir(t(i)).removeRecursively();
            ASSERT_EQ(QProcess::execute("cp", {"-a", saved + QString::number(i), t(i)}), 0);
        }
        const QString kind = qEnvironmentVariableIsSet("SELVANIX_TEST_KIND")
                                 ? qEnvironmentVariable("SELVANIX_TEST_KIND")
                                 : kinds[pick(kinds.size())];
        const QStringList secondArgs =
            kind == "install" ? install({t(1), t(2)})
            : kind == "repair"
                ? QStringList{"repair", "--target", t(1), "--source", pkg(), "--json"}
                : QStringList{kind, "--target", t(1), "--json"};
        QProcess* first = start(install({t(1), t(2)}));
        QThread::msleep(static_cast<unsigned long>(pick(span)));
        QProcess* second = start(secondArgs);
        QThread::msleep(static_cast<unsigned long>(pick(span)));
        QProcess* victim = pick(2) == 0 ? first : second;
        ::kill(static_cast<pid_t>(victim->processId()), SIGKILL);
        const CliRun a = finish(*first);
        const CliRun b = finish(*second);
        const std::string where = "round " + std::to_string(round) + ", second " +
                                  kind.toStdString() + ", exits " + std::to_string(a.exitCode) +
                                  " " + std::to_string(b.exitCode);
        for (const CliRun* r : {&a, &b}) {
            if (r->exitCode >= 0) {
                EXPECT_EQ(r->outcome().value("exit").toInt(), r->exitCode) << where;
            }
        }
        const std::set<int> allowed = kind == "install"  ? std::set<int>{0, 10, -1}
                                      : kind == "verify" ? std::set<int>{0, 10, -1}
                                      : kind == "repair" ? std::set<int>{0, 4, 10, -1}
                                                         : std::set<int>{0, 5, 10, -1};
        EXPECT_TRUE((std::set<int>{0, 10, -1}).contains(a.exitCode)) << where;
        EXPECT_TRUE(allowed.contains(b.exitCode)) << where;

        // The next touch recovers whatever the killed one left.
        for (int i : {1, 2}) {
            const CliRun checked = run({"verify", "--target", t(i)});
            EXPECT_TRUE(checked.exitCode == 0 || checked.exitCode == 5) << where;
            EXPECT_TRUE(leftovers(t(i)).isEmpty()) << where;
        }
        const auto now = std::pair{installed(hashes(t(1))), installed(hashes(t(2)))};
        // A killed run may have got past its commit record, and the next touch finished it.
        const bool installedNew = a.exitCode == 0 || (kind == "install" && b.exitCode == 0);
        const bool installMay =
            installedNew || a.exitCode == -1 || (kind == "install" && b.exitCode == -1);
        const bool rollbackMay = kind == "rollback" && (b.exitCode == 0 || b.exitCode == -1);
        const bool t1Old = now.first == oldFiles.first;
        const bool t1New = now.first == newState.first;
        const bool t2Old = now.second == oldFiles.second;
        const bool t2New = now.second == newState.second;
        EXPECT_TRUE(t2Old || t2New) << where << ": the second target is a mix";
        if (rollbackMay) {
            // Back from new to old, or from old to nothing installed at all.
            const bool t1Empty = !QFileInfo::exists(t(1) + "/brodelik.exe") &&
                                 !QFileInfo::exists(t(1) + "/.selvanix/manifest");
            EXPECT_TRUE(t1Old || t1Empty || (installMay && t1New))
                << where << ": against old " << differences(now.first, oldFiles.first).toStdString()
                << "; against new " << differences(now.first, newState.first).toStdString();
            seen[t1Empty ? "rolled back to nothing" : t1Old ? "rolled back" : "new"] += 1;
        } else {
            EXPECT_TRUE(t1Old || t1New) << where << ": the first target is a mix";
        }
        if (installedNew && !rollbackMay) {
            EXPECT_TRUE(t1New && t2New) << where << ": an install said done";
        }
        if (!installMay) {
            EXPECT_TRUE(t2Old && (rollbackMay || t1Old)) << where << ": nothing said it changed";
        }
        seen[t2New ? "new" : "old"] += 1;
        seen["second " + kind + " exit " + QString::number(b.exitCode)] += 1;
        seen["first install exit " + QString::number(a.exitCode)] += 1;
    }
    env.erase("SELVANIX_LOCK_WAIT_MS");
    for (const auto& [what, count] : seen) {
        std::printf("  %s: %d\n", what.toUtf8().constData(), count);
    }
    EXPECT_GT(seen["old"], 0);
    EXPECT_GT(seen["new"], 0);
}

}  // namespace
}  // namespace selvanix::test
