// `selvanix verify` compares a target with the record of its package and lists every file
// that is missing or changed.
#include "CliFixture.h"

namespace selvanix::test {
namespace {

using Verify = CommandLineFixture;

std::map<QString, QString> differences(const CliRun& r) {
    std::map<QString, QString> found;
    for (const QJsonObject& e : r.events()) {
        if (e.value("event").toString() == QLatin1String("difference")) {
            found[e.value("path").toString()] = e.value("state").toString();
        }
    }
    return found;
}

TEST_F(Verify, EveryMissingOrChangedFileIsListedWithItsOwnExitCode) {
    writeSettings();
    servePackage();
    ASSERT_EQ(run({"install", "--product", "brodelik", "--target", target()}).exitCode, 0);
    const CliRun clean = run({"verify", "--target", target(), "--json"});
    EXPECT_EQ(clean.exitCode, 0) << clean.out.toStdString();
    EXPECT_EQ(clean.outcome().value("outcome").toString(), QStringLiteral("verified"));
    EXPECT_TRUE(differences(clean).empty());
    // What was checked is said: the product, its version and how many files.
    const QJsonObject checked = clean.event("checked");
    EXPECT_EQ(checked.value("name").toString(), QStringLiteral("Brodělík"));
    EXPECT_EQ(checked.value("package_version").toString(), QStringLiteral("14,20"));
    EXPECT_EQ(checked.value("files").toInt(), 5);
    EXPECT_EQ(checked.value("target").toString(), target());
    const CliRun cleanLines = run({"verify", "--target", target()});
    EXPECT_TRUE(cleanLines.out.contains(
        QStringLiteral("checked 5 files of Brodělík 14,20 in %1: all as installed\n")
            .arg(target())
            .toUtf8()))
        << cleanLines.out.toStdString();

    // A flipped byte keeps the size; a missing file; a file swapped for a link to a copy.
    QByteArray help = readBytes(target() + "/brodelik.chm");
    help[1] = static_cast<char>(help[1] ^ 0x20);
    writeBytes(target() + "/brodelik.chm", help);
    QFile::remove(target() + "/data/brodelik.sql");
    writeBytes(root.path() + "/copy.dll", readBytes(target() + "/lib/engine.dll"));
    QFile::remove(target() + "/lib/engine.dll");
    ASSERT_TRUE(QFile::link(root.path() + "/copy.dll", target() + "/lib/engine.dll"));
    QDir(target() + "/pts").removeRecursively();
    const CliRun found = run({"verify", "--target", target(), "--json"});
    EXPECT_EQ(found.exitCode, 8) << found.out.toStdString();
    EXPECT_EQ(differences(found), (std::map<QString, QString>{
                                      {"brodelik.chm", "changed"},
                                      {"data/brodelik.sql", "missing"},
                                      {"lib/engine.dll", "changed"},
                                      {"pts/reports/list.fr3", "missing"},
                                  }));
    EXPECT_EQ(found.outcome().value("exit").toInt(), 8);
    EXPECT_TRUE(readBytes(logPath()).contains("missing 2, changed 2"));

    QStringList plain{"verify", "--target", target()};
    const CliRun lines = run(plain);
    EXPECT_TRUE(lines.out.contains("missing data/brodelik.sql\n")) << lines.out.toStdString();
    EXPECT_TRUE(lines.out.contains("changed brodelik.chm\n"));
    // In Czech the counts take their number's form, and the reason too.
    env[QStringLiteral("LANG")] = QStringLiteral("cs_CZ.UTF-8");
    const CliRun czech = run(plain);
    EXPECT_TRUE(czech.out.contains(
        QStringLiteral("zkontrolováno 5 souborů programu Brodělík 14,20 v %1: chybí 2, liší se 2\n")
            .arg(target())
            .toUtf8()))
        << czech.out.toStdString();
    EXPECT_TRUE(czech.out.contains(QStringLiteral("2 soubory chybí, 2 se liší.").toUtf8()))
        << czech.out.toStdString();
}

TEST_F(Verify, WithoutARecordOrATargetItSaysSo) {
    const CliRun none = run({"verify", "--target", target(), "--json"});
    EXPECT_EQ(none.exitCode, 5);
    EXPECT_EQ(none.outcome().value("outcome").toString(), QStringLiteral("no record"));
    const CliRun gone = run({"verify", "--target", root.path() + "/gone"});
    EXPECT_EQ(gone.exitCode, 5);
    EXPECT_TRUE(gone.err.startsWith("selvanix: the target ")) << gone.err.toStdString();
    EXPECT_EQ(run({"verify"}).exitCode, 2);
    EXPECT_EQ(run({"verify", "--target", target(), "--target", target()}).exitCode, 2);
}

}  // namespace
}  // namespace selvanix::test
