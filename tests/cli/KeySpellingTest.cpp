// A key is its 32 bytes, however its base64 is spelled: a revocation in another spelling
// still ends the key, and a trusted key in another spelling is a configuration error, never
// "no key".
#include "CliFixture.h"

#include "support/SignedPackage.h"

namespace selvanix::test {
namespace {

class KeySpelling : public CommandLineFixture {
protected:
    void SetUp() override {
        const QByteArray archive = packageArchive();
        writeBytes(pkg() + "/brodelik.ini", signedDescriptor(key, archive, Values{}, Values{}));
        writeBytes(pkg() + "/upgrade-brodelik.zip", archive);
        padded = key.publicKey().base64();
        unpadded = padded.left(padded.size() - 1);
    }
    QString pkg() const { return root.path() + "/pkg"; }
    CliRun install() const {
        return run({"install", "--product", "brodelik", "--source", pkg(), "--target", target(),
                    "--json"});
    }
    signing::PrivateKey key = *signing::PrivateKey::generate();
    QByteArray padded;
    QByteArray unpadded;
};

TEST_F(KeySpelling, ARevocationInAnotherSpellingEndsTheKey) {
    writeSettings({}, "publickey=" + padded + "\r\n");
    ASSERT_EQ(install().exitCode, 0);
    QDir(target()).removeRecursively();
    QDir().mkpath(target());
    writeSettings({}, "publickey=" + padded + "\r\nrevokedkeys=" + unpadded + "\r\n");
    const CliRun refused = install();
    EXPECT_EQ(refused.exitCode, 4) << refused.out.toStdString();
    EXPECT_TRUE(refused.err.contains("warning: revokedkeys")) << refused.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target() + "/brodelik.exe"));
}

TEST_F(KeySpelling, ATrustedKeyInAnotherSpellingIsAConfigurationError) {
    writeSettings({}, "publickey=" + unpadded + "\r\n");
    const CliRun refused = install();
    EXPECT_EQ(refused.exitCode, 2) << refused.out.toStdString();
    EXPECT_EQ(refused.err.count('\n'), 1) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("padded base64")) << refused.err.toStdString();
    EXPECT_EQ(refused.outcome().value("outcome").toString(), QStringLiteral("usage error"));
    EXPECT_FALSE(QFileInfo::exists(target() + "/brodelik.exe"));
}

}  // namespace
}  // namespace selvanix::test
