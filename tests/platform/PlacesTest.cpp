// Where a copy keeps its files: beside itself when portable, in the user's folder when it lies
// where it was built to be installed, also below another root.
#include "platform/OwnerRule.h"
#include "platform/Places.h"

#include "support/OtherUser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace selvanix::platform {
namespace {

const QString kData = QStringLiteral("/home/u/.local/share");

TEST(Places, AnInstalledCopyIsKnownByWhereItLies) {
    const Places usr = placesOf(QStringLiteral("/usr/bin"), QStringLiteral("/usr/bin"),
                                QStringLiteral("/etc"), kData);
    EXPECT_TRUE(usr.installed);
    EXPECT_EQ(usr.installerFolder, QStringLiteral("/home/u/.local/share/selvanix/"));
    EXPECT_EQ(usr.systemSettings, QStringLiteral("/etc/selvanix/upgrade.kac"));
    // A tree unpacked below another root has its own all-users settings.
    const Places unpacked = placesOf(QStringLiteral("/tmp/x/usr/bin/"), QStringLiteral("/usr/bin"),
                                     QStringLiteral("/etc"), kData + u'/');
    EXPECT_TRUE(unpacked.installed);
    EXPECT_EQ(unpacked.installerFolder, QStringLiteral("/home/u/.local/share/selvanix/"));
    EXPECT_EQ(unpacked.systemSettings, QStringLiteral("/tmp/x/etc/selvanix/upgrade.kac"));
    const Places local =
        placesOf(QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/local/bin"),
                 QStringLiteral("/usr/local/etc"), kData);
    EXPECT_EQ(local.systemSettings, QStringLiteral("/usr/local/etc/selvanix/upgrade.kac"));
}

TEST(Places, AnyOtherCopyIsPortable) {
    for (const char* folder : {"/work/build/app", "/tmp/xusr/bin", "/usr/bin/old", "/usr",
                               "/opt/selvanix-0.1-linux-x86_64/"}) {
        const Places places = placesOf(QString::fromLatin1(folder), QStringLiteral("/usr/bin"),
                                       QStringLiteral("/etc"), kData);
        EXPECT_FALSE(places.installed) << folder;
        EXPECT_TRUE(places.systemSettings.isEmpty()) << folder;
        EXPECT_TRUE(places.installerFolder.startsWith(QString::fromLatin1(folder).chopped(1)))
            << folder;
        EXPECT_TRUE(places.installerFolder.endsWith(u'/')) << folder;
        EXPECT_FALSE(places.installerFolder.endsWith(QStringLiteral("//"))) << folder;
    }
    // A prefix that is no absolute path makes nothing installed.
    EXPECT_FALSE(
        placesOf(QStringLiteral("/a/bin"), QStringLiteral("bin"), QStringLiteral("etc"), kData)
            .installed);
}

// Where another user could rename or replace a folder on the way, the data folder is not
// taken from there.
TEST(Places, AFolderOthersCanChangeIsNoDataFolder) {
    const OwnerRule rule = OwnerRule::forProcess();
    QTemporaryDir base;
    const QString open = base.path() + QStringLiteral("/open");
    ASSERT_TRUE(QDir().mkpath(open + QStringLiteral("/data")));
    EXPECT_TRUE(trustedChain(open + QStringLiteral("/data"), rule));
    EXPECT_TRUE(trustedChain(open + QStringLiteral("/data/not/yet"), rule));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    EXPECT_FALSE(trustedChain(open, rule));
    EXPECT_FALSE(trustedChain(open + QStringLiteral("/data"), rule)) << "renamed by others";
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 01777), 0);
    EXPECT_TRUE(trustedChain(open + QStringLiteral("/data"), rule)) << "sticky, as /tmp";
    // A link in a folder of one's own is one's own choice.
    ASSERT_TRUE(QFile::link(open + QStringLiteral("/data"), base.path() + QStringLiteral("/link")));
    EXPECT_TRUE(trustedChain(base.path() + QStringLiteral("/link"), rule));
    if (::getuid() == 0) {
        ASSERT_EQ(
            ::chown(QFile::encodeName(open + QStringLiteral("/data")).constData(), 65534, 65534),
            0);
        EXPECT_FALSE(trustedChain(open + QStringLiteral("/data"), rule)) << "another user's";
        EXPECT_FALSE(trustedChain(open + QStringLiteral("/data/below"), rule));
    }

    // Named by the environment, such a folder gives way to the account's own.
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    qputenv("XDG_DATA_HOME", QFile::encodeName(open + QStringLiteral("/data")));
    EXPECT_EQ(dataHome(), QDir::homePath() + QStringLiteral("/.local/share"));
    if (saved.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", saved);
    }
}

// Debian's /var/lock is root's link to the 1777 /run/lock: a link is followed, and what it
// leads to must pass as well. A missing data folder is made only below one nobody else can
// change, and an existing one must be the user's own, no link.
TEST(Places, ALinkLeadsOnlyWhereTheSameRulesHold) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const OwnerRule rule = OwnerRule::forProcess();
    QTemporaryDir base;
    ASSERT_EQ(::chmod(QFile::encodeName(base.path()).constData(), 0755), 0);  // others enter
    const QString open = base.path() + QStringLiteral("/run-lock");
    ASSERT_TRUE(QDir().mkpath(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 01777), 0);  // the test's own
    const QString lock = base.path() + QStringLiteral("/lock");
    ASSERT_TRUE(QFile::link(open, lock));
    EXPECT_FALSE(trustedChain(lock + QStringLiteral("/selvanix"), rule))
        << "would be made in a folder anyone may write";
    // Made there first by another user: theirs, and refused.
    const QByteArray planted = test::runAsOtherUser([&] {
        return QDir().mkdir(open + QStringLiteral("/selvanix")) ? QByteArray("made")
                                                                : QByteArray("refused");
    });
    ASSERT_EQ(planted, QByteArray("made"));
    EXPECT_FALSE(trustedChain(lock + QStringLiteral("/selvanix"), rule));
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(lock));
    EXPECT_EQ(dataHome(), QDir::homePath() + QStringLiteral("/.local/share"));
    // A link another user owns leads nowhere, even to a folder of one's own.
    const QString mine = base.path() + QStringLiteral("/mine");
    ASSERT_TRUE(QDir().mkpath(mine + QStringLiteral("/selvanix")));
    const QString theirs = base.path() + QStringLiteral("/theirs");
    ASSERT_TRUE(QFile::link(mine, theirs));
    ASSERT_EQ(::lchown(QFile::encodeName(theirs).constData(), test::kNobody, test::kNobody), 0);
    EXPECT_FALSE(trustedChain(theirs + QStringLiteral("/selvanix"), rule));
    EXPECT_TRUE(trustedChain(mine + QStringLiteral("/selvanix"), rule));
    // The data folder itself is never a link, even one's own.
    const QString linked = base.path() + QStringLiteral("/linked");
    ASSERT_TRUE(QDir().mkpath(linked));
    ASSERT_TRUE(
        QFile::link(mine + QStringLiteral("/selvanix"), linked + QStringLiteral("/selvanix")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(linked));
    EXPECT_EQ(dataHome(), QDir::homePath() + QStringLiteral("/.local/share"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(mine));
    EXPECT_EQ(dataHome(), mine);
    if (saved.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", saved);
    }
}

TEST(Places, TheDataFolderFollowsXdgWhenItIsAbsolute) {
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(dataHome(), QStringLiteral("/srv/data"));
    qputenv("XDG_DATA_HOME", "relative/data");
    EXPECT_TRUE(dataHome().endsWith(QStringLiteral("/.local/share")));
    EXPECT_TRUE(dataHome().startsWith(u'/'));
    if (saved.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", saved);
    }
}

}  // namespace
}  // namespace selvanix::platform
