// Release channels: a channel's packages lie in its folder below the base and are signed for
// it, so no package crosses to a copy of another channel, from a server or a disk folder.
#include "UpdatesFixture.h"

#include <QRegularExpression>

namespace selvanix::test {
namespace {

class Channel : public UpdatesFixture {
protected:
    // Version 14,minor in folder below the server, signed for the product as signedStem.
    void publishIn(const QString& folder, int minor, const QString& signedStem) {
        Values v;
        v.verze = QStringLiteral("14,%1").arg(minor);
        v.stem = signedStem;
        QDir().mkpath(folder);
        writeBytes(folder + "/upgrade-brodelik.zip", packageArchive());
        writeBytes(folder + "/brodelik.ini", signedDescriptor(*key, packageArchive(), v, v));
    }
    CliRun installInto(const QString& target, const QString& source = "internet") {
        QDir().mkpath(target);
        return run(
            {"install", "--product", "brodelik", "--source", source, "--target", target, "--json"});
    }
    QString beta() const { return www() + "/beta"; }
};

TEST_F(Channel, ACopyTakesItsChannelsPackagesAndNoOther) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publishIn(www(), 20, "brodelik");
    publishIn(beta(), 30, "brodelik@beta");

    settings(true, "channel=beta\r\n");
    served();
    const CliRun onBeta = installInto(folder("b"));
    ASSERT_EQ(onBeta.exitCode, 0) << onBeta.out.toStdString() << onBeta.err.toStdString();
    EXPECT_EQ(onBeta.outcome().value("package_version"), "14,30");
    const QString log = served().join(u'\n');
    EXPECT_TRUE(log.contains("GET /beta/brodelik.ini ")) << log.toStdString();
    EXPECT_TRUE(log.contains("GET /beta/upgrade-brodelik.zip ")) << log.toStdString();
    EXPECT_TRUE(log.contains("GET /selvanix-keys.txt ")) << "key statements stay at the base";
    EXPECT_FALSE(log.contains("GET /brodelik.ini ")) << log.toStdString();

    settings(true);
    const CliRun onStable = installInto(folder("s"));
    ASSERT_EQ(onStable.exitCode, 0) << onStable.out.toStdString();
    EXPECT_EQ(onStable.outcome().value("package_version"), "14,20");

    // The beta package put where stable packages lie: a stable copy refuses it, as a copy
    // from before channels does (it checks the plain stem, as stable does).
    publishIn(www(), 31, "brodelik@beta");
    const CliRun crossed = installInto(folder("s2"));
    EXPECT_EQ(crossed.exitCode, 4) << crossed.out.toStdString();
    EXPECT_TRUE(QDir(folder("s2")).entryList(QDir::Files).isEmpty());

    // And a stable package in the beta folder: the beta copy refuses it.
    publishIn(beta(), 32, "brodelik");
    settings(true, "channel=beta\r\n");
    const CliRun stableOnBeta = installInto(folder("b2"));
    EXPECT_EQ(stableOnBeta.exitCode, 4) << stableOnBeta.out.toStdString();
}

TEST_F(Channel, ADiskFolderIsBoundByTheSignatureToo) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    const QString disk = folder("disk");
    publishIn(disk, 30, "brodelik@beta");
    settings(true);
    EXPECT_EQ(installInto(folder("s"), disk).exitCode, 4);
    settings(true, "channel=nightly\r\n");
    EXPECT_EQ(installInto(folder("n"), disk).exitCode, 4) << "another channel's package";
    settings(true, "channel=beta\r\n");
    const CliRun taken = installInto(folder("b"), disk);
    EXPECT_EQ(taken.exitCode, 0) << taken.out.toStdString();

    // The check reads the channel's folder too.
    publishIn(beta(), 33, "brodelik@beta");
    const CliRun check = run({"check", "--json"});
    EXPECT_EQ(check.exitCode, 11) << check.out.toStdString();
    EXPECT_EQ(targets(check).at(folder("b")).value("available_version"), "14,33");
}

TEST_F(Channel, AChannelThatIsNoNameIsAUsageError) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    for (const QByteArray& odd : {QByteArray("../stable"), QByteArray("beta channel"),
                                  QByteArray(33, 'b'), QByteArray("bet@")}) {
        settings(true, "channel=" + odd + "\r\n");
        const CliRun refused = installInto(folder("t"));
        EXPECT_EQ(refused.exitCode, 2) << odd.toStdString();
        EXPECT_TRUE(refused.err.contains("channel=")) << refused.err.toStdString();
    }
    EXPECT_TRUE(served().isEmpty());
}

}  // namespace
}  // namespace selvanix::test
