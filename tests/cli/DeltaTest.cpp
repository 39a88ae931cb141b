// Updates from the server fetch only what changed, and a publisher key still decides what is
// installed.
#include "CliFixture.h"
#include "config/Signature.h"
#include "delta/ArchiveDelta.h"
#include "support/ReleasePair.h"
#include "support/SignedPackage.h"
#include "support/TestNginx.h"

namespace selvanix::test {
namespace {

class Delta : public CommandLineFixture {
protected:
    Delta() : key(signing::PrivateKey::generate()) {
        QDir().mkpath(www());
        nginx = std::make_unique<TestNginx>(www());
    }
    QString www() const { return root.path() + "/www"; }

    // Release n on the server, its descriptor signed over signedArchive (the release's own
    // archive unless told).
    void publish(int n, const QByteArray& signedArchive = {}) {
        const QByteArray archive = releaseArchive(n);
        Values v;
        v.verze = QStringLiteral("14,%1").arg(20 + n);
        writeBytes(www() + "/upgrade-brodelik.zip", archive);
        writeBytes(www() + "/brodelik.ini",
                   signedDescriptor(*key, signedArchive.isEmpty() ? archive : signedArchive, v, v));
    }

    CliRun install() {
        writeBytes(host() + "/upgrade.kac",
                   "[DEFINICE]\r\n[SERVER]\r\nbaseurl=" + nginx->url("/").toUtf8() +
                       "\r\npublickey=" + key->publicKey().base64() + "\r\n");
        return run({"install", "--product", "brodelik", "--source", "internet", "--target",
                    target(), "--json"});
    }

    std::optional<signing::PrivateKey> key;
    std::unique_ptr<TestNginx> nginx;
};

TEST_F(Delta, TheNextReleaseFetchesWhatChangedAndIsInstalledWhole) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    QDir().mkpath(target());
    publish(1);
    const CliRun first = install();
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString() << first.err.toStdString();
    EXPECT_TRUE(first.event("archive-reused").isEmpty()) << "nothing kept before";
    EXPECT_TRUE(QFileInfo::exists(host() + "/" + keptArchiveName("upgrade-brodelik.zip")));

    publish(2);
    const CliRun second = install();
    ASSERT_EQ(second.exitCode, 0) << second.out.toStdString() << second.err.toStdString();
    const QJsonObject reused = second.event("archive-reused");
    const QByteArray two = releaseArchive(2);
    EXPECT_EQ(reused.value("size").toInteger(), two.size()) << second.out.toStdString();
    EXPECT_GT(reused.value("fetched").toInteger(), changedBytes(two));
    EXPECT_LT(reused.value("fetched").toInteger(), two.size() / 3);
    EXPECT_EQ(readBytes(host() + "/upgrade-brodelik.zip"), two);
    EXPECT_EQ(readBytes(target() + "/lib/mod13.dll"),
              QByteArray("line ").repeated(1000 + 13 * 50) + QByteArray::number(1013));
    EXPECT_TRUE(QFileInfo::exists(target() + "/lib/new.dll"));
}

TEST_F(Delta, AnAssemblyTheSignatureDoesNotNameIsNeverInstalled) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    QDir().mkpath(target());
    publish(1);
    ASSERT_EQ(install().exitCode, 0);
    // The descriptor names another archive than the server holds.
    publish(2, releaseArchive(2, {true, 39}));
    const CliRun refused = install();
    EXPECT_EQ(refused.exitCode, 4) << refused.out.toStdString();
    EXPECT_TRUE(refused.event("archive-reused").isEmpty()) << "the whole file was fetched";
    EXPECT_EQ(readBytes(target() + "/lib/mod13.dll"),
              QByteArray("line ").repeated(1000 + 13 * 50) + QByteArray::number(13));
    EXPECT_FALSE(QFileInfo::exists(host() + "/" + assemblyName("upgrade-brodelik.zip")));
}

}  // namespace
}  // namespace selvanix::test
