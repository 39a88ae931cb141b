// An installed copy's settings: the user's own file first, then the administrator's file for
// everyone, then what is built in.
#include "engine/InstallerSettings.h"
#include "net/InternetOptions.h"
#include "platform/FileOps.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

namespace selvanix::test {
namespace {

class AllUsersSettings : public ::testing::Test {
protected:
    AllUsersSettings() {
        platform::setInstallerFolder(own.path());
        platform::setSystemSettingsFile(system.path() + QStringLiteral("/upgrade.kac"));
    }
    ~AllUsersSettings() override { platform::setInstallerFolder(QString()); }
    void write(const QTemporaryDir& folder, const QByteArray& server) {
        writeBytes(folder.path() + QStringLiteral("/upgrade.kac"),
                   "[DEFINICE]\r\nprogram=2\r\n[SERVER]\r\n" + server);
    }
    QTemporaryDir own;
    QTemporaryDir system;
    const QString keyA = QString(43, u'A') + u'=';
    // In its one spelling: 43 letters B alone leave bits set past the key's 32 bytes.
    const QString keyB =
        QString::fromLatin1(QByteArray::fromBase64(QByteArray(43, 'B') + '=').toBase64());
};

TEST_F(AllUsersSettings, TheAdministratorsServerKeyAndProxyHoldWhereTheUserNamesNone) {
    write(system, "baseurl=https://mirror.example/pkg\r\npublickey=" + keyA.toLatin1() +
                      "\r\nproxy=http://proxy.example:3128\r\nlowspeedlimit=7\r\n");
    const InstallerSettings settings = readInstallerSettings(net::TInternetOptions{});
    EXPECT_EQ(settings.baseUrl, QStringLiteral("https://mirror.example/pkg/"));
    EXPECT_EQ(settings.publicKey, keyA);
    EXPECT_EQ(settings.proxy.url, QStringLiteral("http://proxy.example:3128"));
    EXPECT_EQ(settings.lowSpeed.bytesPerSecond, 7);
    // The user's choices are never the administrator's.
    EXPECT_FALSE(settings.stored.program.has_value());
}

TEST_F(AllUsersSettings, TheUsersOwnValuesWinAndRevocationsCountFromBoth) {
    write(system, "baseurl=https://mirror.example/\r\npublickey=" + keyA.toLatin1() + "\r\n");
    write(own, "baseurl=https://own.example/\r\npublickey=" + keyB.toLatin1() + " " +
                   keyA.toLatin1() + "\r\n");
    InstallerSettings settings = readInstallerSettings(net::TInternetOptions{});
    EXPECT_EQ(settings.baseUrl, QStringLiteral("https://own.example/"));
    EXPECT_EQ(settings.publicKey, keyB + u' ' + keyA);
    // The administrator revokes a key the user still lists: it verifies nothing.
    write(system, "revokedkeys=" + keyB.toLatin1() + "\r\n");
    settings = readInstallerSettings(net::TInternetOptions{});
    EXPECT_EQ(settings.publicKey, keyA);
    EXPECT_TRUE(revokedKeys().contains(keyB));
    write(system, "revokedkeys=" + keyB.toLatin1() + "," + keyA.toLatin1() + "\r\n");
    settings = readInstallerSettings(net::TInternetOptions{});
    EXPECT_FALSE(settings.publicKey.isEmpty()) << "signatures stay required";
    EXPECT_FALSE(settings.publicKey.contains(keyA));
    EXPECT_FALSE(settings.publicKey.contains(keyB));
}

TEST_F(AllUsersSettings, APortableCopyHasNone) {
    write(system, "baseurl=https://mirror.example/\r\n");
    platform::setInstallerFolder(own.path());  // as a portable copy: no all-users file
    EXPECT_TRUE(platform::systemSettingsFile().isEmpty());
    EXPECT_EQ(readInstallerSettings(net::TInternetOptions{}).baseUrl,
              QStringLiteral(SELVANIX_BASE_URL));
}

}  // namespace
}  // namespace selvanix::test
