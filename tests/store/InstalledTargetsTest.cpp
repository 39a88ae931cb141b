// The data folder's list of installed targets: any folder name survives it, damage and
// excess are bounded, and two runs finishing together both stay remembered.
#include "store/InstalledTargets.h"
#include "store/NotifiedReleases.h"
#include "store/SeenReleases.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <thread>

namespace selvanix::test {
namespace {

// A target folder that holds a record, remembered as it is now.
InstalledTarget recorded(const QString& path) {
    QDir().mkpath(path);
    Manifest record;
    record.stem = QStringLiteral("brodelik");
    record.name = QStringLiteral("Brodělík");
    record.version = QStringLiteral("14,20");
    record.date = QStringLiteral("1.6.2026");
    record.sha256 = QByteArray(64, 'a');
    EXPECT_TRUE(writeManifest(*platform::FolderHandle::open(path), record));
    return *installedTarget(path, QStringLiteral("brodelik"));
}

TEST(InstalledTargets, AnyFolderNameReadsBackAndDamagedLinesAreSkipped) {
    const std::vector<InstalledTarget> targets = {
        {QStringLiteral("/srv/with space/and\nnewline"), QStringLiteral("brodelik"), 1, 2},
        {QStringLiteral("/srv/%41 percent ěšč"), QStringLiteral("quobr"), 3, 4},
        {QStringLiteral("C:\\Prog\\Tulvek"), QStringLiteral("tulvek"), 5, 6},
    };
    const QByteArray text = installedTargetsText(targets);
    EXPECT_EQ(text.count('\n'), 4);
    EXPECT_EQ(parseInstalledTargets(text), targets);

    QByteArray damaged = text;
    damaged += "7 8 ../../etc /x\n";         // a stem no product has the form of
    damaged += "x 8 brodelik /y\n";          // no number
    damaged += "9 10 brodelik\n";            // no path
    damaged += "11 12 brodelik /z extra\n";  // too many fields
    EXPECT_EQ(parseInstalledTargets(damaged), targets);
    EXPECT_TRUE(parseInstalledTargets("selvanix-targets 2\n1 2 brodelik /a\n").empty());
}

TEST(InstalledTargets, TheListIsBoundedAndANewInstallationGoesLast) {
    QTemporaryDir root;
    const InstalledTarget a = recorded(root.path() + "/a");
    const InstalledTarget b = recorded(root.path() + "/b");
    const InstalledTarget gone = recorded(root.path() + "/gone");
    QDir(gone.path).removeRecursively();

    // Installed again, a target moves to the end; a gone one is dropped, once seen.
    EXPECT_EQ(withInstalled({a, gone, b}, {a}), (std::vector<InstalledTarget>{b, a}));
    // Another name for the same folder is the same target.
    InstalledTarget aliased = a;
    aliased.path = root.path() + "/./a";
    EXPECT_EQ(withInstalled({a}, {aliased}), std::vector<InstalledTarget>{aliased});

    std::vector<InstalledTarget> many;
    for (std::uint64_t i = 0; i < kMaxInstalledTargets + 5; ++i) {
        many.push_back({QStringLiteral("/t%1").arg(i), QStringLiteral("brodelik"), 1, 100 + i});
    }
    const std::vector<InstalledTarget> bounded = withInstalled({}, many);
    ASSERT_EQ(bounded.size(), kMaxInstalledTargets);
    EXPECT_EQ(bounded.front().inode, 105u) << "the oldest go first";
    EXPECT_EQ(parseInstalledTargets(installedTargetsText(many)).size(), kMaxInstalledTargets);
}

TEST(InstalledTargets, TwoRunsFinishingTogetherAreBothRemembered) {
    QTemporaryDir root;
    const QString data = root.path() + "/data";
    QDir().mkpath(data);
    std::vector<InstalledTarget> first;
    std::vector<InstalledTarget> second;
    for (int i = 0; i < 20; ++i) {
        first.push_back(recorded(root.path() + QStringLiteral("/one%1").arg(i)));
        second.push_back(recorded(root.path() + QStringLiteral("/two%1").arg(i)));
    }
    const auto remember = [&data](const std::vector<InstalledTarget>& targets) {
        for (const InstalledTarget& t : targets) {
            EXPECT_FALSE(rememberTargets(data, {t}).has_value());
        }
    };
    std::thread one(remember, first);
    std::thread two(remember, second);
    one.join();
    two.join();
    EXPECT_EQ(readInstalledTargets(*platform::FolderHandle::open(data)).size(), 40u);
    EXPECT_FALSE(QFile::exists(data + "/.targets.lock"));
}

TEST(InstalledTargets, ATargetIsPresentOnlyWhileItIsTheSameFolderWithARecord) {
    QTemporaryDir root;
    const InstalledTarget t = recorded(root.path() + "/t");
    EXPECT_EQ(targetNow(t).state, TargetNow::State::Present);
    EXPECT_EQ(targetNow(t).record->version, QStringLiteral("14,20"));

    QFile::remove(t.path + "/.selvanix/manifest");
    EXPECT_EQ(targetNow(t).state, TargetNow::State::Vanished);

    // A link now at the path leads to another folder, even one holding a record.
    const InstalledTarget other = recorded(root.path() + "/other");
    QDir(t.path).removeRecursively();
    ASSERT_TRUE(QFile::link(other.path, t.path));
    EXPECT_EQ(targetNow(t).state, TargetNow::State::Replaced);
    QFile::remove(t.path);
    EXPECT_EQ(targetNow(t).state, TargetNow::State::Vanished);
}

TEST(NotifiedReleases, EachReleaseOfATargetOnceAcrossRuns) {
    QTemporaryDir root;
    const platform::FolderHandle data = *platform::FolderHandle::open(root.path());
    const InstalledTarget a{QStringLiteral("/a"), QStringLiteral("brodelik"), 1, 2};
    const InstalledTarget b{QStringLiteral("/b"), QStringLiteral("brodelik"), 1, 3};
    NotifiedReleases notified = NotifiedReleases::read(data);
    EXPECT_FALSE(notified.contains(a, QStringLiteral("14,25")));
    notified.add(a, QStringLiteral("14,25"));
    ASSERT_TRUE(notified.write(data));

    const NotifiedReleases again = NotifiedReleases::read(data);
    EXPECT_TRUE(again.contains(a, QStringLiteral("14,25")));
    EXPECT_FALSE(again.contains(a, QStringLiteral("14,26")));
    EXPECT_FALSE(again.contains(b, QStringLiteral("14,25"))) << "another target is told too";
    // A version with a space cannot pass for another key.
    EXPECT_FALSE(again.contains(a, QStringLiteral("14,25 x")));
}

// Two checks at once each read the list, fetch, and write it: neither loses what the other saw,
// and of a release both saw the earlier sighting stands.
TEST(SeenReleases, TwoChecksAtOnceKeepWhatEachSaw) {
    QTemporaryDir root;
    const platform::FolderHandle data = *platform::FolderHandle::open(root.path());
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
    SeenReleases first = SeenReleases::read(data);
    SeenReleases second = SeenReleases::read(data);
    EXPECT_EQ(first.firstSeen("tulvek", "3,0", t0.addSecs(60)), t0.addSecs(60));
    EXPECT_EQ(first.firstSeen("brodelik", "14,30", t0.addSecs(60)), t0.addSecs(60));
    EXPECT_EQ(second.firstSeen("brodelik", "14,30", t0), t0);
    EXPECT_EQ(second.firstSeen("pesmarin", "2,0", t0), t0);
    ASSERT_TRUE(first.write(data));
    ASSERT_TRUE(second.write(data));
    SeenReleases after = SeenReleases::read(data);
    const QDateTime later = t0.addDays(30);
    EXPECT_EQ(after.firstSeen("tulvek", "3,0", later), t0.addSecs(60));
    EXPECT_EQ(after.firstSeen("brodelik", "14,30", later), t0);
    EXPECT_EQ(after.firstSeen("pesmarin", "2,0", later), t0);
}

}  // namespace
}  // namespace selvanix::test
