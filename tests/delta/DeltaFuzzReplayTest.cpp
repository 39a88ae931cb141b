// The delta fuzzer's routine on the inputs each reader accepts, damaged, and on every input
// kept from fuzzing.
#include "ExerciseDelta.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using selvanix::fuzz::deltaSeed;
using selvanix::fuzz::exerciseDelta;

TEST(DeltaFuzzReplay, TheHonestDeltaRebuildsAndDamageNeverPasses) {
    QTemporaryDir root;
    const QByteArray honest = deltaSeed('d', root.path());
    ASSERT_FALSE(honest.isEmpty());
    const auto run = exerciseDelta(honest, root.path());
    EXPECT_TRUE(run.finding.isEmpty()) << run.finding.toStdString();
    EXPECT_EQ(run.rebuilt, 2) << "the edited and the added entry: the check means something";
    for (qsizetype at = 1; at < honest.size(); at += 13) {
        QByteArray damaged = honest;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x41);
        const auto d = exerciseDelta(damaged, root.path());
        EXPECT_TRUE(d.finding.isEmpty()) << at << ' ' << d.finding.toStdString();
    }
    for (const char kind : {'i', 'p'}) {
        const QByteArray seed = deltaSeed(kind, root.path());
        for (qsizetype at = 1; at < seed.size(); at += 7) {
            QByteArray damaged = seed;
            damaged[at] = static_cast<char>(damaged[at] ^ 0x41);
            EXPECT_TRUE(exerciseDelta(damaged, root.path()).finding.isEmpty()) << kind << at;
        }
    }
}

TEST(DeltaFuzzReplay, KeptInputsNeverPassWithOtherBytes) {
    QTemporaryDir root;
    const QDir dir(QStringLiteral(SELVANIX_FUZZ_DIR "/regressions-delta"));
    ASSERT_FALSE(dir.entryList(QDir::Files).isEmpty());
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(exerciseDelta(f.readAll(), root.path()).finding.isEmpty())
            << name.toStdString();
    }
}

}  // namespace
