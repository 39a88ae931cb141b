// The line that says which version went where, in the window's Czech and the console's English.
#include "engine/CzechPlural.h"
#include "engine/OutcomeDetail.h"

#include <gtest/gtest.h>

namespace selvanix::test {
namespace {

TEST(OutcomeDetail, TheFirstTargetStandsForTheRest) {
    const QStringList three{QStringLiteral("/home/a//Prog/"), QStringLiteral("/srv/b"),
                            QStringLiteral("/srv/c")};
    EXPECT_EQ(installedDetail(QStringLiteral("14,20"), three),
              QStringLiteral("Verze 14,20 v /home/a/Prog/ a 2 dalších"));
    EXPECT_EQ(installedDetailEnglish(QStringLiteral("14,20"), three),
              QStringLiteral("version 14,20 in /home/a/Prog/ and 2 more"));
    EXPECT_EQ(installedDetail(QStringLiteral("1"), {QStringLiteral("C:\\Prog")}),
              QStringLiteral("Verze 1 v C:\\Prog"));
    EXPECT_EQ(installedDetail(QStringLiteral("14,20"), three.mid(1)),
              QStringLiteral("Verze 14,20 v /srv/b a 1 další"));
    // A run that ended with nothing installed names only the version.
    EXPECT_EQ(installedDetail(QStringLiteral("2,0"), {}), QStringLiteral("Verze 2,0"));
}

// Czech counts take the form of their number: 1, then 2 to 4, then 0 and 5 on (21 included).
TEST(CzechPlural, TheFormFollowsTheNumber) {
    const auto files = [](qint64 n) {
        return czechPlural(n, u"%1 soubor chybí", u"%1 soubory chybí", u"%1 souborů chybí");
    };
    EXPECT_EQ(files(1), QStringLiteral("1 soubor chybí"));
    EXPECT_EQ(files(2), QStringLiteral("2 soubory chybí"));
    EXPECT_EQ(files(4), QStringLiteral("4 soubory chybí"));
    EXPECT_EQ(files(5), QStringLiteral("5 souborů chybí"));
    EXPECT_EQ(files(0), QStringLiteral("0 souborů chybí"));
    EXPECT_EQ(files(21), QStringLiteral("21 souborů chybí"));
    EXPECT_EQ(files(1000000), QStringLiteral("1000000 souborů chybí"));
}

}  // namespace
}  // namespace selvanix::test
