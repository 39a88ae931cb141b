// An entry that cannot be installed is named, and the reason says in Czech what happened where
// the system or the archive can tell: a link on the way, the file-size limit, damaged data.
#include "CliFixture.h"
#include "support/ZipWriter.h"

namespace selvanix::test {
namespace {

class EntryCause : public CommandLineFixture {
protected:
    QString pkg() const { return root.path() + "/pkg"; }
    void offer(const std::vector<ZipEntry>& extra) {
        writeSettings();
        QDir().mkpath(pkg());
        writeBytes(pkg() + "/brodelik.ini", descriptor(false));
        writeBytes(pkg() + "/upgrade-brodelik.zip", packageArchive(extra));
        QDir().mkpath(target());
    }
    QStringList installArgs(const QString& answer) const {
        return {"install",  "--product", "brodelik", "--source",     pkg(),
                "--target", target(),    "--json",   "--on-failure", answer};
    }
    static ZipEntry entry(const QByteArray& name, const QByteArray& data) {
        ZipEntry e;
        e.name = name;
        e.data = data;
        return e;
    }
};

TEST_F(EntryCause, AFolderOnTheWayThatIsALinkIsNamedAsSuch) {
    offer({});
    const QString elsewhere = root.path() + "/elsewhere";
    QDir().mkpath(elsewhere);
    ASSERT_TRUE(QFile::link(elsewhere, target() + "/data"));
    const CliRun aborted = run(installArgs("abort"));
    EXPECT_EQ(aborted.exitCode, 6) << aborted.out.toStdString();
    const QString reason = aborted.outcome().value("reason").toString();
    EXPECT_TRUE(reason.contains("symbolický odkaz")) << reason.toStdString();
    EXPECT_TRUE(reason.contains("Nenainstalováno: data/brodelik.sql.")) << reason.toStdString();
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

TEST_F(EntryCause, TheFileSizeLimitAndDamagedDataAreTold) {
    ZipEntry damaged = entry("lib/damaged.dll", QByteArray("damaged ").repeated(100));
    damaged.crc = 0x12345678;
    offer({entry("big.dll", QByteArray(200000, 'b')), damaged});
    // The limit of a shell's ulimit, for this run alone.
    const QStringList limited =
        QStringList{"--fsize=100000", host() + "/selvanix"} + installArgs("ignore");
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove("DISPLAY");
    e.insert("XDG_STATE_HOME", stateHome());
    p.setProcessEnvironment(e);
    p.start("prlimit", limited);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_EQ(p.exitCode(), 7) << out.toStdString() << p.readAllStandardError().toStdString();
    const QJsonObject outcome = QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
    const QString reason = outcome.value("reason").toString();
    EXPECT_TRUE(reason.startsWith("Nenainstalováno: big.dll, lib/damaged.dll ("))
        << reason.toStdString();
    EXPECT_TRUE(reason.contains("limit velikosti souborů")) << reason.toStdString();
    EXPECT_TRUE(reason.contains("data v balíčku jsou poškozená")) << reason.toStdString();
}

TEST_F(EntryCause, ManyEntriesNotInstalledAreNamedFiveAndCounted) {
    std::vector<ZipEntry> many;
    for (int i = 1; i <= 8; ++i) {
        many.push_back(entry("lib/m" + QByteArray::number(i) + ".dll", "module"));
    }
    offer(many);
    // A folder where each module's file goes.
    for (int i = 1; i <= 8; ++i) {
        QDir().mkpath(target() + QStringLiteral("/lib/m%1.dll/in-the-way").arg(i));
    }
    const CliRun ignored = run(installArgs("ignore"));
    EXPECT_EQ(ignored.exitCode, 7) << ignored.out.toStdString();
    const QString reason = ignored.outcome().value("reason").toString();
    EXPECT_TRUE(
        reason.startsWith("Nenainstalováno: lib/m1.dll, lib/m2.dll, lib/m3.dll, "
                          "lib/m4.dll, lib/m5.dll a 3 další ("))
        << reason.toStdString();
}

}  // namespace
}  // namespace selvanix::test
