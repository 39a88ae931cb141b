// `selvanix upgrade` without a display: the newer copy is fetched and checked as the window's
// Upgrade does, its path printed, nothing started; a copy that fails stays nowhere.
#include "CliFixture.h"

#include "config/KeyStatement.h"
#include "config/Signature.h"
#include "support/SignedPackage.h"

#include <QJsonArray>

namespace selvanix::test {
namespace {

using Upgrade = CommandLineFixture;

const QByteArray kNext = "#!/bin/sh\necho next > \"$HOME/never\"\n";

TEST_F(Upgrade, TheCheckedCopyLandsBesideTheProgramAndIsNotStarted) {
    const std::optional<signing::PrivateKey> key = signing::PrivateKey::generate();
    ASSERT_TRUE(key);
    writeSettings({}, "publickey=" + key->publicKey().base64() + "\r\n");
    server.route("/selvanixnext.exe", httpReply(200, kNext));
    server.route("/selvanixnext.exe.sig", httpReply(200, updateStatement(*key, kNext, "99.0")));
    env[QStringLiteral("HOME")] = root.path();
    const CliRun r = run({"upgrade", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    const QString path = host() + "/selvanixnext.exe";
    EXPECT_EQ(r.event("update").value("path").toString(), path);
    EXPECT_EQ(r.outcome().value("exit").toInt(), 0);
    // The fetched version is said; "version" stays the running Selvanix's, as in every outcome.
    EXPECT_EQ(r.event("update").value("new_version").toString(), "99.0");
    EXPECT_EQ(r.outcome().value("new_version").toString(), "99.0");
    EXPECT_NE(r.outcome().value("version").toString(), "99.0");
    EXPECT_EQ(readBytes(path), kNext);
    EXPECT_TRUE(QFileInfo(path).isExecutable());
    EXPECT_FALSE(QFileInfo::exists(path + ".sig"));
    EXPECT_FALSE(QFileInfo::exists(root.path() + "/never")) << "started without a display";

    const CliRun plain = run({"upgrade"});
    EXPECT_TRUE(plain.out.contains("fetched Selvanix 99.0: " + path.toUtf8()))
        << plain.out.toStdString();
    env[QStringLiteral("LANG")] = QStringLiteral("cs_CZ.UTF-8");
    const CliRun czech = run({"upgrade"});
    EXPECT_TRUE(czech.out.contains("stažen Selvanix 99.0: " + path.toUtf8()))
        << czech.out.toStdString();
}

// Without a publisher key nothing names the copy's version: it is said to be unknown.
TEST_F(Upgrade, AnUnsignedCopyHasNoVersionToName) {
    writeSettings({}, "publickey=\r\n");
    server.route("/selvanixnext.exe", httpReply(200, kNext));
    const CliRun r = run({"upgrade", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.outcome().value("new_version").isNull());
    EXPECT_TRUE(r.event("update").value("new_version").isNull());
}

TEST_F(Upgrade, ACopyThatIsNotFetchedOrNotSignedIsGoneWithItsExitCode) {
    const std::optional<signing::PrivateKey> key = signing::PrivateKey::generate();
    ASSERT_TRUE(key);
    const QString path = host() + "/selvanixnext.exe";
    writeSettings();
    const CliRun missing = run({"upgrade", "--json"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_TRUE(missing.outcome().value("reason").toString().contains(QStringLiteral("404")))
        << missing.out.toStdString();

    // Cut short: the server promised more than it sent.
    TestReply cut = httpReply(200, QByteArray(100000, 'n'));
    cut.cutAfter = 5000;
    server.route("/selvanixnext.exe", cut);
    EXPECT_EQ(run({"upgrade"}).exitCode, 3);
    EXPECT_FALSE(QFileInfo::exists(path));

    writeSettings({}, "publickey=" + key->publicKey().base64() + "\r\n");
    server.route("/selvanixnext.exe", httpReply(200, kNext));
    server.route("/selvanixnext.exe.sig",
                 httpReply(200, key->sign("something else").toBase64() + "\n"));
    const CliRun refused = run({"upgrade", "--json"});
    EXPECT_EQ(refused.exitCode, 4) << refused.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(readBytes(logPath()).contains("upgrade outcome: exit 4"));

    // Replays: a bare signature over the file (the first form), a statement for another
    // file, and one naming a version that is not newer than this Selvanix.
    for (const auto& [statement, reason] :
         {std::pair{key->sign(kNext).toBase64() + "\n", QStringLiteral("starým způsobem")},
          std::pair{updateStatement(*key, "another file", "99.0"), QStringLiteral("ověřit")},
          std::pair{updateStatement(*key, kNext, "0.1"),
                    QStringLiteral("Nová verze programu Selvanix (0.1) není novější než tato")}}) {
        server.route("/selvanixnext.exe.sig", httpReply(200, statement));
        const CliRun replayed = run({"upgrade", "--json"});
        EXPECT_EQ(replayed.exitCode, 4) << replayed.out.toStdString();
        EXPECT_TRUE(replayed.outcome().value("reason").toString().contains(reason))
            << replayed.out.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path));
    }
}

using Keys = CommandLineFixture;

QByteArray keyStatement(const signing::PrivateKey& by, KeyChangeKind kind, const QByteArray& key) {
    const QByteArray signer = by.publicKey().base64();
    return keyStatementText(kind, key, signer, by.sign(keySigningText(kind, key, signer)));
}

// A publisher moves to a new key with a statement beside the packages, then retires the old
// one: the new key's packages install, the retired key's no longer do.
TEST_F(Keys, StatementsBesideThePackagesMoveTheTrustToANewKey) {
    const auto first = signing::PrivateKey::generate();
    const auto second = signing::PrivateKey::generate();
    ASSERT_TRUE(first && second);
    const QByteArray firstKey = first->publicKey().base64();
    const QByteArray secondKey = second->publicKey().base64();
    writeSettings({}, "publickey=" + firstKey + "\r\n");
    const QString pkg = root.path() + "/pkg";
    const QString target = root.path() + "/t";
    QDir().mkpath(target);
    const QByteArray zip = packageArchive();
    const auto offer = [&](const signing::PrivateKey& key) {
        writeBytes(pkg + "/brodelik.ini", signedDescriptor(key, zip, {}, {}));
        writeBytes(pkg + "/upgrade-brodelik.zip", zip);
    };
    const QStringList install{"install", "--product", "brodelik", "--source",
                              pkg,       "--target",  target,     "--json"};
    const auto statement = keyStatement;

    offer(*second);
    EXPECT_EQ(run(install).exitCode, 4) << "not trusted yet";
    writeBytes(pkg + "/selvanix-keys.txt", statement(*first, KeyChangeKind::Add, secondKey));
    const CliRun moved = run(install);
    EXPECT_EQ(moved.exitCode, 0) << moved.out.toStdString();
    // The change of trust is said where the user reads, once.
    const QJsonObject learned = moved.event("keys");
    EXPECT_EQ(learned.value("added").toArray(), QJsonArray{QString::fromLatin1(secondKey)});
    EXPECT_TRUE(learned.value("revoked").toArray().isEmpty());
    EXPECT_TRUE(run(install).event("keys").isEmpty()) << "known already";
    const QByteArray settings = readBytes(host() + "/upgrade.kac");
    EXPECT_TRUE(settings.contains("publickey=" + firstKey + " " + secondKey))
        << settings.toStdString();

    // Retired: the old key's packages are refused, even listed, and it is never added again.
    writeBytes(pkg + "/selvanix-keys.txt", statement(*first, KeyChangeKind::Add, secondKey) + "\n" +
                                               statement(*second, KeyChangeKind::Revoke, firstKey) +
                                               "\n" +
                                               statement(*second, KeyChangeKind::Add, firstKey));
    offer(*first);
    const CliRun refused = run(install);
    EXPECT_EQ(refused.exitCode, 4) << refused.out.toStdString();
    EXPECT_EQ(refused.event("keys").value("revoked").toArray(),
              QJsonArray{QString::fromLatin1(firstKey)});
    // Refused because the key is revoked, and said so, not "changed after signing".
    EXPECT_TRUE(refused.outcome().value("reason").toString().contains(
        QStringLiteral("klíčem vydavatele, který byl odvolán")))
        << refused.outcome().value("reason").toString().toStdString();
    EXPECT_TRUE(readBytes(host() + "/upgrade.kac").contains("revokedkeys=" + firstKey));
    QFile::remove(pkg + "/selvanix-keys.txt");
    EXPECT_EQ(run(install).exitCode, 4) << "the revocation stays without the statements file";
    offer(*second);
    EXPECT_EQ(run(install).exitCode, 0);
}

TEST_F(Keys, TheServersStatementsAreFetchedBeforeThePackage) {
    const auto first = signing::PrivateKey::generate();
    const auto second = signing::PrivateKey::generate();
    ASSERT_TRUE(first && second);
    writeSettings({}, "publickey=" + first->publicKey().base64() + "\r\n");
    const QByteArray zip = packageArchive();
    server.route("/brodelik.ini", httpReply(200, signedDescriptor(*second, zip, {}, {})));
    server.route("/upgrade-brodelik.zip", httpReply(200, zip));
    const QString target = root.path() + "/t";
    QDir().mkpath(target);
    const QStringList install{"install",  "--product", "brodelik", "--source",
                              "internet", "--target",  target};
    EXPECT_EQ(run(install).exitCode, 4);  // no statements on the server yet: a 404, and refused
    server.route("/selvanix-keys.txt", httpReply(200, keyStatement(*first, KeyChangeKind::Add,
                                                                   second->publicKey().base64())));
    const CliRun moved = run(install);
    EXPECT_EQ(moved.exitCode, 0) << moved.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(host() + "/selvanix-keys.txt"));
}

}  // namespace
}  // namespace selvanix::test
