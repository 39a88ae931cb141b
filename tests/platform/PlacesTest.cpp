// Where a copy keeps its files: beside itself when portable, in the user's folder when it lies
// where it was built to be installed, also below another root.
#include "platform/Places.h"

#include <gtest/gtest.h>

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
