// Updates from the server fetch only what changed, and a publisher key still decides what is
// installed.
#include "CliFixture.h"
#include "archive/EntryDeflate.h"
#include "config/ReleaseIndex.h"
#include "config/Signature.h"
#include "delta/ArchiveDelta.h"
#include "delta/DeltaBuilder.h"
#include "platform/handles/File.h"
#include "support/ReleasePair.h"
#include "support/SignedPackage.h"
#include "support/TestNginx.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QThread>
#include <csignal>
#include <functional>

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
    void publish(int n, const QByteArray& signedArchive = {}, const ReleaseOptions& o = {}) {
        const QByteArray archive = releaseArchive(n, o);
        Values v;
        v.verze = QStringLiteral("14,%1").arg(20 + n);
        writeBytes(www() + "/upgrade-brodelik.zip", archive);
        writeBytes(www() + "/brodelik.ini",
                   signedDescriptor(*key, signedArchive.isEmpty() ? archive : signedArchive, v, v));
    }

    // The publisher's delta from release 1 to 2 and the signed index beside the package; from
    // names another archive the delta starts from.
    qint64 publishDelta(const QByteArray& from = {}, const ReleaseOptions& o = {}) {
        const QByteArray one = releaseArchive(1, o);
        const QByteArray two = releaseArchive(2, o);
        writeBytes(root.path() + "/one.zip", one);
        writeBytes(root.path() + "/two.zip", two);
        const auto built = buildDelta(*platform::File::openRegular(root.path() + "/one.zip"),
                                      *platform::File::openRegular(root.path() + "/two.zip"));
        EXPECT_TRUE(built);
        const QByteArray oneSha = from.isEmpty() ? sha(one) : from;
        const QByteArray name = "upgrade-brodelik.zip.from-" + oneSha.left(16) + ".delta";
        const QByteArray bytes = built->bytes;
        ReleaseIndex index;
        index.product = "brodelik";
        index.archive = sha(two);
        index.deflate = deflateRecipe();
        index.entries = built->hashes;
        index.deltas = {{oneSha, name, static_cast<std::uint64_t>(bytes.size()), sha(bytes)}};
        writeBytes(www() + '/' + QString::fromLatin1(name), bytes);
        const QByteArray text = index.text(*key);
        writeBytes(www() + "/upgrade-brodelik.zip.index", text);
        return bytes.size() + text.size();
    }
    static QByteArray sha(const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    }
    // The requests nginx served since the last call, one line each.
    QStringList served() { return nginx->newRequests(); }
    // Files left in the installer's folder that only a fetch puts there.
    QStringList leftInHost() const {
        return QDir(host()).entryList({"*.delta", "*.index", "*.assembly*"},
                                      QDir::Files | QDir::Hidden);
    }

    QStringList installArgs(bool keyed = true) {
        writeBytes(host() + "/upgrade.kac",
                   "[DEFINICE]\r\n[SERVER]\r\nbaseurl=" + nginx->url("/").toUtf8() +
                       (keyed ? "\r\npublickey=" + key->publicKey().base64() : QByteArray()) +
                       "\r\n");
        return {"install",  "--product", "brodelik", "--source",
                "internet", "--target",  target(),   "--json"};
    }
    CliRun install(bool keyed = true) { return run(installArgs(keyed)); }
    // Release 1 installed, release 2 offered with its delta, then damage done to what the
    // server holds: the update must still come whole, by ranges. The requests it made.
    QString updateByRanges(const std::function<void()>& damage) {
        QDir().mkpath(target());
        publish(1);
        EXPECT_EQ(install().exitCode, 0);
        publish(2);
        publishDelta();
        damage();
        served();
        const CliRun second = install();
        EXPECT_EQ(second.exitCode, 0) << second.out.toStdString() << second.err.toStdString();
        EXPECT_EQ(second.event("archive-reused").value("delta").toInteger(), 0);
        EXPECT_EQ(readBytes(host() + "/upgrade-brodelik.zip"), releaseArchive(2));
        const QString log = served().join(u'\n');
        EXPECT_TRUE(log.contains(QRegularExpression("brodelik\\.zip HTTP.*bytes=[0-9]+-[0-9]+")))
            << log.toStdString();
        EXPECT_TRUE(leftInHost().isEmpty()) << leftInHost().join(u' ').toStdString();
        return log;
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

// The second release comes as the delta from the kept archive plus the tail: no entry is
// fetched by range, the run says what the delta cost, and nothing of it stays behind.
TEST_F(Delta, TheNextReleaseComesAsADeltaAndTheRunSaysSo) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    QDir().mkpath(target());
    publish(1);
    ASSERT_EQ(install().exitCode, 0);
    served();
    publish(2);
    const qint64 cost = publishDelta();
    const CliRun second = install();
    ASSERT_EQ(second.exitCode, 0) << second.out.toStdString() << second.err.toStdString();
    const QJsonObject reused = second.event("archive-reused");
    EXPECT_EQ(reused.value("delta").toInteger(), cost) << second.out.toStdString();
    const QByteArray two = releaseArchive(2);
    EXPECT_EQ(reused.value("size").toInteger(), two.size());
    EXPECT_LT(reused.value("fetched").toInteger(), cost + 16384);
    EXPECT_EQ(readBytes(host() + "/upgrade-brodelik.zip"), two);
    EXPECT_EQ(readBytes(target() + "/lib/mod13.dll"),
              QByteArray("line ").repeated(1000 + 13 * 50) + QByteArray::number(1013));
    const QString log = served().join(u'\n');
    EXPECT_TRUE(log.contains(".delta")) << log.toStdString();
    // The delta in its tail and one range; of the archive, its tail and no range.
    EXPECT_FALSE(log.contains(QRegularExpression("brodelik\\.zip HTTP.*bytes=[0-9]+-[0-9]+")))
        << log.toStdString();
    EXPECT_TRUE(leftInHost().isEmpty()) << leftInHost().join(u' ').toStdString();
}

// A delta that is not the one the index signs is never applied: the update goes on by ranges.
TEST_F(Delta, ADamagedDeltaIsRefusedAndTheUpdateStillComesWhole) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    const QString log = updateByRanges([this] {
        for (const QString& name : QDir(www()).entryList({"*.delta"})) {
            QByteArray bytes = readBytes(www() + '/' + name);
            bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 1);
            writeBytes(www() + '/' + name, bytes);
        }
    });
    EXPECT_TRUE(log.contains(".delta")) << log.toStdString();
}

// An index that is not the one the publisher signed is never read: no delta is fetched, and the
// update comes by ranges.
TEST_F(Delta, ADamagedIndexIsRefusedAndNoDeltaIsFetched) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    const QString log = updateByRanges([this] {
        QByteArray index = readBytes(www() + "/upgrade-brodelik.zip.index");
        index.replace("archive ", "archive x");
        writeBytes(www() + "/upgrade-brodelik.zip.index", index);
    });
    EXPECT_TRUE(log.contains(".index")) << log.toStdString();
    EXPECT_FALSE(log.contains(".delta")) << log.toStdString();
}

// No delta is fetched that does not start from the kept archive, nor any index without a key.
TEST_F(Delta, OnlyADeltaFromTheKeptArchiveAndOnlyWithAKey) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    QDir().mkpath(target());
    publish(1);
    ASSERT_EQ(install().exitCode, 0);
    publish(2);
    publishDelta(sha("another release"));
    served();
    const CliRun other = install();
    ASSERT_EQ(other.exitCode, 0) << other.out.toStdString();
    QString log = served().join(u'\n');
    EXPECT_TRUE(log.contains(".index")) << log.toStdString();
    EXPECT_FALSE(log.contains(".delta")) << log.toStdString();

    publishDelta();  // and now one from the archive kept before, but no key to trust it
    const CliRun unkeyed = install(false);
    ASSERT_EQ(unkeyed.exitCode, 0) << unkeyed.out.toStdString();
    log = served().join(u'\n');
    EXPECT_FALSE(log.contains(".index")) << log.toStdString();
    EXPECT_FALSE(log.contains(".delta")) << log.toStdString();
}

// A delta stopped on its way goes on from the bytes it holds: the next run asks only for the
// rest, and the update is whole.
TEST_F(Delta, AStoppedDeltaGoesOnFromItsBytesTheNextTime) {
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    QDir().mkpath(target());
    const ReleaseOptions large{.largeEntry = 2 << 20};
    publish(1, {}, large);
    ASSERT_EQ(install().exitCode, 0);
    // The update over a slow link, so that a stop finds the delta on its way.
    nginx = std::make_unique<TestNginx>(www(), QString(), QString(), "limit_rate 1m;");
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    publish(2, {}, large);
    const qint64 cost = publishDelta({}, large);
    ASSERT_GT(cost, 2 << 20);
    served();
    QProcess* first = start(installArgs());
    const QByteArray out = outputUntil(*first, ".delta");
    ASSERT_TRUE(out.contains(".delta")) << out.toStdString();
    QThread::msleep(800);  // well into its two seconds
    const CliRun stopped = stop(*first, SIGTERM, out);
    EXPECT_EQ(stopped.exitCode, 9) << stopped.out.toStdString();
    EXPECT_FALSE(QDir(host()).entryList({"*.assembly*"}, QDir::Files | QDir::Hidden).isEmpty())
        << stopped.out.toStdString() << served().join(u'\n').toStdString();
    served();

    const CliRun resumed = install();
    ASSERT_EQ(resumed.exitCode, 0) << resumed.out.toStdString() << resumed.err.toStdString();
    EXPECT_EQ(readBytes(host() + "/upgrade-brodelik.zip"), releaseArchive(2, large));
    EXPECT_EQ(resumed.event("archive-reused").value("delta").toInteger(), cost);
    // The delta's rest: a range that starts where the stopped run's bytes end.
    const QString log = served().join(u'\n');
    const QRegularExpression rest(".delta.*bytes=([1-9][0-9]*)-");
    const QRegularExpressionMatch m = rest.match(log);
    ASSERT_TRUE(m.hasMatch()) << log.toStdString();
    EXPECT_GT(m.captured(1).toLongLong(), 512 * 1024) << log.toStdString();
    EXPECT_TRUE(leftInHost().isEmpty()) << leftInHost().join(u' ').toStdString();
}

}  // namespace
}  // namespace selvanix::test
