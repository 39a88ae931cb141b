// The installed copy's data folder is never a target, by whatever path it is named.
#include "engine/TargetCheck.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace selvanix::test {
namespace {

TEST(OwnFolder, TheDataFolderAndWhatLiesBelowItAreNoTargetsByAnyPath) {
    QTemporaryDir dir;
    const QString own = dir.path() + "/data/selvanix";
    QDir().mkpath(own + "/deep/er");
    QDir().mkpath(dir.path() + "/data/selvanix-other");
    QDir().mkpath(dir.path() + "/elsewhere");
    ASSERT_EQ(::symlink(QFile::encodeName(own + "/deep").constData(),
                        QFile::encodeName(dir.path() + "/elsewhere/link").constData()),
              0);
    for (const QString& target : {own, own + "/", own + "/deep/er", dir.path() + "/elsewhere/link",
                                  dir.path() + "/data/../data/selvanix/deep"}) {
        const std::optional<TargetProblem> problem =
            ownFolderProblem({dir.path() + "/elsewhere", target}, own + "/");
        ASSERT_TRUE(problem) << target.toStdString();
        EXPECT_EQ(problem->target, target);
        EXPECT_TRUE(problem->reason.contains(QStringLiteral("patří programu Selvanix")));
    }
    // A name that only starts the same, the folder above, and a missing folder are not it.
    EXPECT_FALSE(ownFolderProblem(
        {dir.path() + "/data/selvanix-other", dir.path() + "/data", dir.path() + "/missing"}, own));
}

}  // namespace
}  // namespace selvanix::test
