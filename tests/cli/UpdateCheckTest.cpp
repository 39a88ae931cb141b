// What the data folder remembers of installations, and a check that reads only descriptors.
#include "UpdatesFixture.h"

#include <QRegularExpression>

namespace selvanix::test {
namespace {

class UpdateCheck : public UpdatesFixture {};

TEST_F(UpdateCheck, ListShowsEachTargetFromItsRecordAndDropsGoneOnesAtTheNextInstallation) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    const QString kept = folder("kept");
    const QString vanished = folder("vanished");
    const QString replaced = folder("replaced");
    install({kept, vanished});
    install({replaced});

    QDir(vanished).removeRecursively();
    ASSERT_TRUE(QDir().rename(replaced, folder("moved-away")));
    QDir().mkpath(replaced);
    // The kept target's record now names another version: list reads the record, not itself.
    publish(21);
    install({kept});

    // The installation just made dropped the vanished and the replaced target.
    const CliRun listed = run({"list", "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    const auto byFolder = targets(listed);
    ASSERT_EQ(byFolder.size(), 1u) << listed.out.toStdString();
    const QJsonObject one = byFolder.at(kept);
    EXPECT_EQ(one.value("state"), "present");
    EXPECT_EQ(one.value("product"), "brodelik");
    EXPECT_EQ(one.value("installed_version"), "14,21");
    EXPECT_EQ(one.value("date"), "22.6.2026");
    EXPECT_EQ(listed.outcome().value("count"), 1);
}

TEST_F(UpdateCheck, ListSaysWhatBecameOfATargetThatVanishedOrIsAnotherFolderNow) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    const QString kept = folder("kept");
    const QString emptied = folder("emptied");
    const QString replaced = folder("replaced");
    install({kept, emptied, replaced});
    QFile::remove(emptied + "/.selvanix/manifest");
    ASSERT_TRUE(QDir().rename(replaced, folder("moved-away")));
    QDir().mkpath(replaced);
    // A record copied into the new folder does not make it the remembered one.
    QDir().mkpath(replaced + "/.selvanix");
    QFile::copy(kept + "/.selvanix/manifest", replaced + "/.selvanix/manifest");

    const CliRun listed = run({"list", "--json"});
    ASSERT_EQ(listed.exitCode, 0);
    const auto byFolder = targets(listed);
    ASSERT_EQ(byFolder.size(), 3u) << listed.out.toStdString();
    EXPECT_EQ(byFolder.at(kept).value("state"), "present");
    EXPECT_EQ(byFolder.at(kept).value("installed_version"), "14,20");
    EXPECT_EQ(byFolder.at(emptied).value("state"), "vanished");
    EXPECT_EQ(byFolder.at(replaced).value("state"), "replaced");
    EXPECT_FALSE(byFolder.at(replaced).contains("installed_version"));

    const CliRun text = run({"list"});
    EXPECT_TRUE(text.out.contains(kept.toUtf8() + ": Brodělík 14,20 (21.6.2026)"))
        << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(emptied.toUtf8() + ": no longer installed"));
    EXPECT_TRUE(text.out.contains(replaced.toUtf8() + ": another folder now"));
}

TEST_F(UpdateCheck, ALinkAtTheListsNameIsReplacedNeverFollowed) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    const QString elsewhere = folder("elsewhere.txt");
    writeBytes(elsewhere, "not the installer's");
    ASSERT_TRUE(QFile::link(elsewhere, host() + "/targets.list"));
    install({folder("t")});
    EXPECT_EQ(readBytes(elsewhere), "not the installer's");
    EXPECT_FALSE(QFileInfo(host() + "/targets.list").isSymLink());
    EXPECT_EQ(targets(run({"list", "--json"})).size(), 1u);
}

TEST_F(UpdateCheck, CheckFetchesNoArchiveAndTellsANewerRelease) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    install({folder("a"), folder("b")});
    served();
    const auto hostFiles = [this] {
        return QDir(host()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QStringList before = hostFiles();

    const CliRun current = run({"check", "--json"});
    EXPECT_EQ(current.exitCode, 0) << current.out.toStdString() << current.err.toStdString();
    EXPECT_EQ(current.outcome().value("outcome"), "current");
    EXPECT_EQ(current.outcome().value("verified"), true);

    publish(22);
    const CliRun newer = run({"check", "--json"});
    EXPECT_EQ(newer.exitCode, 11) << newer.out.toStdString() << newer.err.toStdString();
    EXPECT_EQ(newer.outcome().value("outcome"), "update available");
    for (const auto& [path, event] : targets(newer)) {
        EXPECT_EQ(event.value("status"), "update available") << path.toStdString();
        EXPECT_EQ(event.value("installed_version"), "14,20");
        EXPECT_EQ(event.value("available_version"), "14,22");
    }
    // Per check and product one descriptor and (for a rollout) its index, and the key
    // statements; never an archive or a delta.
    const QStringList requests = served();
    ASSERT_EQ(requests.size(), 6) << requests.join(u'\n').toStdString();
    for (const QString& line : requests) {
        EXPECT_TRUE(line.contains(QRegularExpression(
            "GET /(brodelik\\.ini|selvanix-keys\\.txt|upgrade-brodelik\\.zip\\.index) ")))
            << line.toStdString();
    }
    // No descriptor is left behind; only the note of when this copy first saw each release.
    QStringList after = hostFiles();
    EXPECT_EQ(after.removeAll("seen.list"), 1);
    EXPECT_EQ(after, before);

    const CliRun text = run({"check"});
    EXPECT_TRUE(text.out.contains("update available: 14,22 (23.6.2026)")) << text.out.toStdString();
}

TEST_F(UpdateCheck, ADescriptorThatFailsItsSignatureOrCannotBeCheckedIsRefused) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    install({folder("a")});

    Values tampered;
    tampered.verze = QStringLiteral("99,0");
    publish(22, tampered);
    const CliRun forged = run({"check", "--json"});
    EXPECT_EQ(forged.exitCode, 4) << forged.out.toStdString();
    EXPECT_EQ(targets(forged).at(folder("a")).value("status"), "unknown");
    EXPECT_FALSE(forged.out.contains("99,0")) << "an unverified version is never reported";

    Values unnamed;
    unnamed.namesArchive = false;
    publish(22, unnamed);
    const CliRun old = run({"check", "--json"});
    EXPECT_EQ(old.exitCode, 4) << old.out.toStdString();
    EXPECT_TRUE(old.outcome().value("reason").toString().contains("neuvádí kontrolní součet"));
}

TEST_F(UpdateCheck, AServerThatIsDownIsNoPackageAndNothingIsReported) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    install({folder("a")});
    nginx.reset();
    const CliRun down = run({"check", "--json"});
    EXPECT_EQ(down.exitCode, 3) << down.out.toStdString() << down.err.toStdString();
    EXPECT_EQ(targets(down).at(folder("a")).value("status"), "unknown");
}

TEST_F(UpdateCheck, WithoutAKeyTheCheckReportsButSaysNothingWasVerified) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    install({folder("a")});
    publish(23);
    settings(false);
    const CliRun unkeyed = run({"check", "--json"});
    EXPECT_EQ(unkeyed.exitCode, 11) << unkeyed.out.toStdString();
    EXPECT_EQ(unkeyed.outcome().value("verified"), false);
    EXPECT_FALSE(unkeyed.event("unverified").isEmpty());
    const CliRun text = run({"check"});
    EXPECT_TRUE(text.out.contains("nothing was verified")) << text.out.toStdString();
}

TEST_F(UpdateCheck, AFolderSourceIsReadAsTheInstallationReadsIt) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(20);
    install({folder("a")});
    const QString disk = folder("disk");
    QDir().mkpath(disk);
    publish(24);
    QFile::copy(www() + "/brodelik.ini", disk + "/brodelik.ini");
    served();
    const CliRun fromDisk = run({"check", "--source", disk, "--json"});
    EXPECT_EQ(fromDisk.exitCode, 11) << fromDisk.out.toStdString() << fromDisk.err.toStdString();
    EXPECT_EQ(targets(fromDisk).at(folder("a")).value("available_version"), "14,24");
    EXPECT_TRUE(served().filter("brodelik").isEmpty()) << "nothing fetched for a disk source";

    const CliRun missing = run({"check", "--source", folder("nowhere"), "--json"});
    EXPECT_EQ(missing.exitCode, 3) << missing.out.toStdString();
}

}  // namespace
}  // namespace selvanix::test
