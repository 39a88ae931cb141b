// The line that says which version went where, in the window's Czech and the console's English.
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
    // A run that ended with nothing installed names only the version.
    EXPECT_EQ(installedDetail(QStringLiteral("2,0"), {}), QStringLiteral("Verze 2,0"));
}

}  // namespace
}  // namespace selvanix::test
