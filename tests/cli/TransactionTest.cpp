// An installation leaves each target wholly old or wholly new: killed at any step, out of
// room, or stopped by a failed entry; rollback, repair and the journal's recovery.
#include "VersionsFixture.h"

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace selvanix::test {
namespace {

TEST_F(Versions, AKillAtAnyStepLeavesEachTargetWhollyOldOrWhollyNew) {
    const QStringList targets{t(1), t(2)};
    for (const QString& target : targets) {
        QDir().mkpath(target);
    }
    offer(older);
    ASSERT_EQ(run(install(targets)).exitCode, 0);
    const auto oldState = [&] { return std::pair{hashes(t(1)), hashes(t(2))}; }();
    const QString saved = root.path() + "/saved";
    for (int i : {1, 2}) {
        ASSERT_EQ(QProcess::execute("cp", {"-a", t(i), saved + QString::number(i)}), 0);
    }
    const auto restoreOld = [&] {
        for (int i : {1, 2}) {
            QDir(t(i)).removeRecursively();
            ASSERT_EQ(QProcess::execute("cp", {"-a", saved + QString::number(i), t(i)}), 0);
        }
    };
    offer(newer);
    ASSERT_EQ(run(install(targets)).exitCode, 0);
    const auto newState = std::pair{hashes(t(1)), hashes(t(2))};
    ASSERT_NE(oldState.first, newState.first);
    // The newer version dropped a file: it went with the old version, not left among the new.
    ASSERT_TRUE(oldState.first.contains("lib/legacy.dll"));
    ASSERT_FALSE(newState.first.contains("lib/legacy.dll"));
    ASSERT_TRUE(newState.first.contains(".selvanix/previous/files/lib/legacy.dll"));

    // Count the steps of a whole run first: a kill past the last one never comes.
    int steps = 0;
    for (int probe = 1; steps == 0; probe *= 2) {
        restoreOld();
        env["SELVANIX_KILL_AT"] = QString::number(probe);
        if (run(install(targets)).exitCode == 0) {
            steps = probe;  // an upper bound; the loop below finds the end
        }
    }
    int points = 0;
    int oldSeen = 0;
    int newSeen = 0;
    const int stride = std::max(1, steps / 260);
    for (int at = 1; at <= steps; at += stride) {
        restoreOld();
        env["SELVANIX_KILL_AT"] = QString::number(at);
        const CliRun killed = run(install(targets));
        env.erase("SELVANIX_KILL_AT");
        if (killed.exitCode == 0) {
            break;  // past the last step
        }
        ++points;
        // The next touch recovers; then each target is one of the two, with no leftover.
        for (int i : {1, 2}) {
            ASSERT_NE(run({"verify", "--target", t(i)}).exitCode, -1);
            const auto now = hashes(t(i));
            const auto& oldOne = i == 1 ? oldState.first : oldState.second;
            const auto& newOne = i == 1 ? newState.first : newState.second;
            ASSERT_TRUE(now == oldOne || now == newOne)
                << "killed at step " << at << ", target " << i << " is a mix";
            ASSERT_TRUE(leftovers(t(i)).isEmpty()) << leftovers(t(i)).join(' ').toStdString();
            (now == oldOne ? oldSeen : newSeen) += 1;
        }
    }
    std::printf("killed at each of %d steps: %d targets found old, %d new\n", points, oldSeen,
                newSeen);
    EXPECT_GE(points, 200);
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
}

// A tmpfs of the test's own: a disk that can be filled. Mounting needs root, which CI has.
class SmallDisk {
public:
    SmallDisk(const QString& at, const char* options) : at_(at) {
        QDir().mkpath(at);
        mounted_ = ::mount("tmpfs", QFile::encodeName(at).constData(), "tmpfs", 0, options) == 0;
    }
    ~SmallDisk() {
        if (mounted_) {
            ::umount2(QFile::encodeName(at_).constData(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }
    // Files in a folder of the disk until only free inodes (or bytes) are left.
    void fillInodes(unsigned long free) const {
        QDir().mkpath(at_ + "/filler");
        for (int i = 0; freeInodes() > free; ++i) {
            writeBytes(at_ + "/filler/" + QString::number(i), "");
        }
    }
    unsigned long freeInodes() const {
        struct statvfs fs {};
        ::statvfs(QFile::encodeName(at_).constData(), &fs);
        return fs.f_ffree;
    }

private:
    QString at_;
    bool mounted_ = false;
};

TEST_F(Versions, AFullDiskWhileStagingTheSecondTargetLeavesBothOld) {
    ASSERT_EQ(::geteuid(), 0u) << "mounting the small disk needs root";
    QDir().mkpath(t(1));
    const SmallDisk disk(t(2), "size=64m,nr_inodes=400");
    ASSERT_TRUE(disk.mounted());
    offer(older);
    ASSERT_EQ(run(install({t(1), t(2)})).exitCode, 0);
    const auto before = std::pair{hashes(t(1)), hashes(t(2))};
    offer(newer);
    // Room in bytes, but the second target's disk runs out of files once the run's lock, its
    // journal, the one new folder and the settings file are made: in the entries.
    disk.fillInodes(4);
    const CliRun full = run(install({t(1), t(2)}));
    EXPECT_EQ(full.exitCode, 6) << full.out.toStdString();
    EXPECT_FALSE(full.event("entry-failed").value("message").toString().isEmpty());
    EXPECT_TRUE(full.outcome().value("reason").toString().contains(QStringLiteral("rozbalit do ")))
        << full.out.toStdString();
    QDir(t(2) + "/filler").removeRecursively();
    EXPECT_EQ(hashes(t(1)), before.first);
    EXPECT_EQ(hashes(t(2)), before.second);
    EXPECT_TRUE(leftovers(t(1)).isEmpty());
}

TEST_F(Versions, TooLittleRoomOnAnyTargetEndsTheRunBeforeAnyIsChanged) {
    ASSERT_EQ(::geteuid(), 0u) << "mounting the small disk needs root";
    QDir().mkpath(t(1));
    // 17 MiB: less than the package plus 1 % and 16 MiB.
    const SmallDisk disk(t(2), "size=17m");
    ASSERT_TRUE(disk.mounted());
    offer(newer);
    const CliRun refused = run(install({t(1), t(2)}));
    EXPECT_EQ(refused.exitCode, 6) << refused.out.toStdString();
    const QString reason = refused.event("target-failed").value("reason").toString();
    EXPECT_TRUE(reason.startsWith(QStringLiteral("Na disku se složkou ") + t(2)))
        << reason.toStdString();
    EXPECT_TRUE(hashes(t(1)).empty());
    EXPECT_TRUE(hashes(t(2)).empty());
}

// pts on a file system of its own: its replaced files are moved within it, never copied,
// and a rollback brings them back.
TEST_F(Versions, AMountBelowTheTargetKeepsItsPreviousVersionOnItsOwnDisk) {
    ASSERT_EQ(::geteuid(), 0u) << "mounting the small disk needs root";
    QDir().mkpath(t(1));
    const SmallDisk pts(t(1) + "/pts", "size=32m");
    ASSERT_TRUE(pts.mounted());
    offer(older);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    const QByteArray oldReport = readBytes(t(1) + "/pts/reports/list.fr3");
    offer(newer);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    EXPECT_EQ(readBytes(t(1) + "/pts/reports/list.fr3"), QByteArray("<report v='2'/>"));
    EXPECT_EQ(readBytes(t(1) + "/pts/.selvanix/previous/files/reports/list.fr3"), oldReport);
    EXPECT_FALSE(QFileInfo::exists(t(1) + "/.selvanix/previous/files/pts"));
    const CliRun back = run({"rollback", "--target", t(1), "--json"});
    EXPECT_EQ(back.exitCode, 0) << back.out.toStdString();
    EXPECT_EQ(readBytes(t(1) + "/pts/reports/list.fr3"), oldReport);
    EXPECT_FALSE(QFileInfo::exists(t(1) + "/pts/extra/big2.fr3"));
}

TEST_F(Versions, RollbackRestoresThePreviousVersionByteForByte) {
    QDir().mkpath(t(1));
    writeBytes(t(1) + "/mine.txt", "the user's");
    offer(older);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    std::map<QString, QByteArray> before = hashes(t(1));
    offer(newer);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    ASSERT_NE(hashes(t(1)), before);
    const CliRun back = run({"rollback", "--target", t(1), "--json"});
    EXPECT_EQ(back.exitCode, 0) << back.out.toStdString();
    EXPECT_EQ(back.outcome().value("outcome").toString(), QStringLiteral("rolled back"));
    // The same files and bytes, the older record included; only the kept version is gone.
    std::erase_if(before, [](const auto& file) {
        return file.first.startsWith(QLatin1String(".selvanix/previous/"));
    });
    EXPECT_EQ(hashes(t(1)), before);
    EXPECT_FALSE(QFileInfo::exists(t(1) + "/lib/m0.dll"));
    EXPECT_EQ(run({"verify", "--target", t(1)}).exitCode, 0);
    // One previous version only: a second rollback has nothing to go back to.
    const CliRun again = run({"rollback", "--target", t(1), "--json"});
    EXPECT_EQ(again.exitCode, 5);
    EXPECT_EQ(again.outcome().value("outcome").toString(), QStringLiteral("no previous version"));
}

TEST_F(Versions, RepairExtractsExactlyTheFilesThatDifferFromTheRecordedPackage) {
    QDir().mkpath(t(1));
    offer(newer);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    const std::map<QString, QByteArray> whole = hashes(t(1));
    QByteArray help = readBytes(t(1) + "/brodelik.chm");
    help[1] = static_cast<char>(help[1] ^ 0x20);
    writeBytes(t(1) + "/brodelik.chm", help);
    QFile::remove(t(1) + "/lib/m3.dll");
    const QDateTime untouched = QFileInfo(t(1) + "/big1.dll").lastModified();
    ::sleep(1);

    const CliRun fixed = run({"repair", "--target", t(1), "--source", pkg(), "--json"});
    EXPECT_EQ(fixed.exitCode, 0) << fixed.out.toStdString();
    QStringList repaired;
    for (const QJsonObject& e : fixed.events()) {
        if (e.value("event").toString() == QLatin1String("repaired")) {
            repaired << e.value("path").toString();
        }
    }
    repaired.sort();
    EXPECT_EQ(repaired, (QStringList{"brodelik.chm", "lib/m3.dll"}));
    EXPECT_EQ(hashes(t(1)), whole);
    EXPECT_EQ(QFileInfo(t(1) + "/big1.dll").lastModified(), untouched);

    // Another package than the recorded one is refused, and says why.
    QFile::remove(t(1) + "/lib/m3.dll");
    offer(older);
    const CliRun other = run({"repair", "--target", t(1), "--source", pkg(), "--json"});
    EXPECT_EQ(other.exitCode, 4) << other.out.toStdString();
    EXPECT_TRUE(other.outcome().value("reason").toString().startsWith(
        QStringLiteral("Balíček není ten, který je nainstalován")));
    EXPECT_FALSE(QFileInfo::exists(t(1) + "/lib/m3.dll"));
    EXPECT_EQ(run({"repair", "--target", t(2), "--source", pkg()}).exitCode, 5);
}

TEST_F(Versions, AnOlderPackageIsRefusedWithoutAllowDowngrade) {
    QDir().mkpath(t(1));
    offer(older);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    const auto before = hashes(t(1));
    writeBytes(pkg() + "/brodelik.ini", descriptor(true).replace("verze=14,20", "verze=9,00"));
    const CliRun refused = run(install({t(1)}));
    EXPECT_EQ(refused.exitCode, 4) << refused.out.toStdString();
    EXPECT_EQ(refused.event("downgrade").value("installed_version").toString(),
              QStringLiteral("14,20"));
    EXPECT_TRUE(refused.outcome().value("reason").toString().startsWith(
        QStringLiteral("Balíček má starší verzi 9,00, než je verze 14,20")));
    EXPECT_EQ(hashes(t(1)), before);
    QStringList allowed = install({t(1)});
    allowed << "--allow-downgrade";
    const CliRun done = run(allowed);
    EXPECT_EQ(done.exitCode, 0) << done.out.toStdString();
    EXPECT_TRUE(readBytes(t(1) + "/.selvanix/manifest").contains("\nversion 9,00\n"));
}

// Planted journals: another user who can write a target cannot make the recovery act
// outside it.
TEST_F(Versions, AForgedJournalReachesNothingOutsideTheTarget) {
    QDir().mkpath(t(1));
    offer(older);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    writeBytes(root.path() + "/outside.txt", "keep");
    writeBytes(root.path() + "/.outside.txt.0123456789abcdef.tmp", "keep too");
    for (const QByteArray& forged :
         {QByteArray("selvanix-journal 1\nkind install\ntag 0123456789abcdef\nstage "
                     "../outside.txt\ncommit\n"),
          QByteArray("selvanix-journal 1\nkind rollback\ntag 0123456789abcdef\nremove 00000000 4 "
                     "../outside.txt\nrestore ../outside.txt\ncommit\n"),
          QByteArray("selvanix-journal 1\nkind install\ntag ../../x\nstage brodelik.exe\n")}) {
        writeBytes(t(1) + "/.selvanix/journal", forged);
        EXPECT_EQ(run({"verify", "--target", t(1)}).exitCode, 0);
        EXPECT_FALSE(QFileInfo::exists(t(1) + "/.selvanix/journal"));
        EXPECT_EQ(readBytes(root.path() + "/outside.txt"), QByteArray("keep"));
        EXPECT_EQ(readBytes(root.path() + "/.outside.txt.0123456789abcdef.tmp"),
                  QByteArray("keep too"));
    }
}

}  // namespace
}  // namespace selvanix::test
