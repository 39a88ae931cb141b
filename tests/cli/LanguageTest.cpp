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

}  // namespace
}  // namespace selvanix::test
