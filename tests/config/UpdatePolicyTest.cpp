// The unattended policy: the administrator's file decides every key it names, the user's the
// rest, and a value that is none of the allowed ones never widens what may happen.
#include "config/UpdatePolicy.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

namespace selvanix::test {
namespace {

class Policy : public ::testing::Test {
protected:
    QString file(const char* name, const QByteArray& server) {
        const QString path = dir.path() + '/' + name;
        writeBytes(path, "[DEFINICE]\r\nprogram=1\r\n[SERVER]\r\n" + server);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(Policy, TheAllUsersFileWinsForEveryKeyItNames) {
    const QString own =
        file("own.kac", "unattended=install\r\nmetered=install\r\ncooldowndays=0\r\n");
    const QString system = file("system.kac", "unattended=notify\r\ncooldowndays=7\r\n");
    const UpdatePolicy both = readUpdatePolicy(own, system);
    EXPECT_FALSE(both.install);
    EXPECT_EQ(both.coolDownDays, 7);
    EXPECT_TRUE(both.onMetered) << "a key the administrator left out is the user's";
    EXPECT_TRUE(both.problem.isEmpty());

    // A portable copy has no all-users file: the user's own holds.
    const UpdatePolicy portable = readUpdatePolicy(own, QString());
    EXPECT_TRUE(portable.install);
    EXPECT_EQ(portable.coolDownDays, 0);

    const UpdatePolicy defaults = readUpdatePolicy(file("empty.kac", ""), QString());
    EXPECT_FALSE(defaults.install);
    EXPECT_EQ(defaults.coolDownDays, 0);
    EXPECT_FALSE(defaults.onMetered);
}

TEST_F(Policy, AnOddValueIsAProblemAndAllowsNothingMore) {
    const QString own = file("own.kac", "unattended=install\r\n");
    for (const QByteArray& odd : {QByteArray("cooldowndays=-1"), QByteArray("cooldowndays=3.5"),
                                  QByteArray("cooldowndays=99999"), QByteArray("cooldowndays=x")}) {
        const UpdatePolicy p = readUpdatePolicy(own, file("system.kac", odd + "\r\n"));
        EXPECT_TRUE(p.problem.contains("cooldowndays")) << odd.constData();
        EXPECT_EQ(p.coolDownDays, kMaxCoolDownDays) << odd.constData();
    }
    const UpdatePolicy install = readUpdatePolicy(file("odd.kac", "unattended=yes\r\n"), QString());
    EXPECT_FALSE(install.install);
    EXPECT_TRUE(install.problem.contains("unattended=yes")) << install.problem.toStdString();
    const UpdatePolicy metered =
        readUpdatePolicy(file("odd.kac", "metered=Install\r\n"), QString());
    EXPECT_FALSE(metered.onMetered);
    EXPECT_FALSE(metered.problem.isEmpty());
}

}  // namespace
}  // namespace selvanix::test
