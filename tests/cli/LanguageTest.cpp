// The command line in one language at a time: Czech under a Czech locale, English under any
// other, the product's reasons as they are, and the same JSON in every locale.
#include "CliFixture.h"

namespace selvanix::test {
namespace {

class Language : public CommandLineFixture {
protected:
    void czech() { env[QStringLiteral("LANG")] = QStringLiteral("cs_CZ.UTF-8"); }
};

// The window without a display says so and points to the command line, not Qt's abort.
TEST_F(Language, NoDisplayPointsToTheCommandLine) {
    writeSettings();
    for (const bool inCzech : {false, true}) {
        if (inCzech) {
            czech();
        }
        for (const QString& display : {QString(), QStringLiteral(":9173")}) {
            if (display.isEmpty()) {
                env.erase(QStringLiteral("DISPLAY"));
            } else {
                env[QStringLiteral("DISPLAY")] = display;
            }
            const CliRun r = run({});
            EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
            const QString err = QString::fromUtf8(r.err);
            EXPECT_TRUE(err.startsWith(inCzech
                                           ? QStringLiteral("selvanix: není k dispozici displej")
                                           : QStringLiteral("selvanix: no display")))
                << r.err.toStdString();
            EXPECT_TRUE(err.contains(QStringLiteral("selvanix --help"))) << r.err.toStdString();
            EXPECT_EQ(err.contains(QStringLiteral(":9173")), !display.isEmpty());
            EXPECT_FALSE(err.contains(QStringLiteral("Reinstalling"))) << r.err.toStdString();
            EXPECT_EQ(err.count(u'\n'), 1) << r.err.toStdString();
            EXPECT_TRUE(r.out.isEmpty());
        }
    }
}

// Each event's name and keys, in order: what a script relies on.
QStringList shapes(const CliRun& r) {
    QStringList shape;
    for (const QJsonObject& e : r.events()) {
        shape << e.value("event").toString() + u':' + e.keys().join(u',');
    }
    return shape;
}

TEST_F(Language, AnInstallationSpeaksTheLocalesLanguageAndJsonStaysTheSame) {
    writeSettings();
    servePackage();
    const QStringList install{"install", "--product", "brodelik", "--target", target()};
    const CliRun english = run(install);
    ASSERT_EQ(english.exitCode, 0) << english.out.toStdString() << english.err.toStdString();
    for (const char* line : {"fetching http://", "package Brodělík, version 14,20, 12.5.2023",
                             "installing into ", "outcome: installed"}) {
        EXPECT_TRUE(english.out.contains(line)) << line << "\n" << english.out.toStdString();
    }
    QFile::remove(target() + "/.selvanix/manifest");
    const CliRun englishJson = run(install + QStringList{"--json"});

    czech();
    QFile::remove(target() + "/.selvanix/manifest");
    const CliRun cs = run(install);
    ASSERT_EQ(cs.exitCode, 0) << cs.out.toStdString();
    const QString out = QString::fromUtf8(cs.out);
    for (const QString& line :
         {QStringLiteral("stahuji http://"),
          QStringLiteral("balíček Brodělík, verze 14,20, 12.5.2023"),
          QStringLiteral("instaluji do %1 (1 z 1)").arg(target()),
          QStringLiteral("nainstalováno 1, beze změny 0: Verze 14,20 v %1").arg(target()),
          QStringLiteral("výsledek: nainstalováno")}) {
        EXPECT_TRUE(out.contains(line)) << line.toStdString() << "\n" << cs.out.toStdString();
    }
    for (const char* english : {"fetching", "installing", "outcome", "package ", "version"}) {
        EXPECT_FALSE(out.contains(QLatin1String(english))) << english << "\n"
                                                           << cs.out.toStdString();
    }
    QFile::remove(target() + "/.selvanix/manifest");
    const CliRun csJson = run(install + QStringList{"--json"});
    EXPECT_EQ(shapes(csJson).join(u' ').toStdString(),
              shapes(englishJson).join(u' ').toStdString());
    EXPECT_EQ(csJson.outcome().value("outcome").toString(), QStringLiteral("installed"));

    // Usage errors and help too.
    const CliRun usage = run({"install", "--bogus"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(QString::fromUtf8(usage.err),
              QStringLiteral("selvanix: neznámá volba --bogus (viz selvanix --help)\n"));
    EXPECT_TRUE(run({"--help"}).out.startsWith("Použití:"));
}

// A refused downgrade is one event, not also a missing package; its line says it in words of
// its own, not two halves of the window's headline.
TEST_F(Language, ARefusedDowngradeIsOneEventInEitherLanguage) {
    writeSettings();
    servePackage();
    ASSERT_EQ(run({"install", "--product", "brodelik", "--target", target()}).exitCode, 0);
    server.route("/brodelik.ini",
                 httpReply(200, descriptor(true).replace("verze=14,20", "verze=9,00")));
    const QStringList install{"install", "--product", "brodelik", "--target", target()};
    const CliRun json = run(install + QStringList{"--json"});
    EXPECT_EQ(json.exitCode, 4) << json.out.toStdString();
    EXPECT_FALSE(json.event("downgrade").isEmpty());
    EXPECT_TRUE(json.event("no-package").isEmpty()) << json.out.toStdString();

    const CliRun english = run(install);
    EXPECT_TRUE(english.out.contains(
        "the package's version 9,00 is older than the installed 14,20\noutcome: refused: "))
        << english.out.toStdString();
    czech();
    const CliRun cs = run(install);
    EXPECT_TRUE(cs.out.contains(QStringLiteral("verze balíčku 9,00 je starší než nainstalovaná "
                                               "14,20\nvýsledek: odmítnuto: Balíček má starší")
                                    .toUtf8()))
        << cs.out.toStdString();
    EXPECT_FALSE(cs.out.contains(QStringLiteral("instalace byla zastavena").toUtf8()));
}

// Counts in the product's Czech reasons follow their number in every locale.
TEST_F(Language, CzechReasonsCountCorrectly) {
    writeSettings();
    servePackage();
    ASSERT_EQ(run({"install", "--product", "brodelik", "--target", target()}).exitCode, 0);
    writeBytes(target() + "/brodelik.chm", "changed by the user");
    const CliRun one = run({"uninstall", "--target", target(), "--json"});
    EXPECT_EQ(one.outcome().value("reason").toString(), QStringLiteral("1 změněný soubor zůstal."));
    ASSERT_EQ(run({"install", "--product", "brodelik", "--target", target()}).exitCode, 0);
    for (const char* file : {"/brodelik.chm", "/brodelik.exe", "/lib/engine.dll"}) {
        writeBytes(target() + file, "changed by the user");
    }
    const CliRun three = run({"uninstall", "--target", target(), "--json"});
    EXPECT_EQ(three.outcome().value("reason").toString(),
              QStringLiteral("3 změněné soubory zůstaly."));
}

}  // namespace
}  // namespace selvanix::test
