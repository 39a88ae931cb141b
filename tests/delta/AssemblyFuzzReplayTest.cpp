// The assembly fuzzer's routine on its honest input and on every input kept from fuzzing.
#include "ExerciseAssembly.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using selvanix::fuzz::AssemblyRun;
using selvanix::fuzz::assemblySeed;
using selvanix::fuzz::exerciseAssembly;

TEST(AssemblyFuzzReplay, TheHonestInputAssemblesAndDamageNeverPasses) {
    QTemporaryDir root;
    const QByteArray honest = assemblySeed(root.path());
    ASSERT_FALSE(honest.isEmpty());
    const AssemblyRun run = exerciseAssembly(honest, root.path());
    EXPECT_TRUE(run.finding.isEmpty()) << run.finding.toStdString();
    EXPECT_TRUE(run.assembled) << "the routine can succeed, so its check means something";
    // Every byte of the answer changed in turn: never a success with other bytes.
    const qsizetype answerAt = honest.indexOf("\r\n--fz\r\n");
    ASSERT_GT(answerAt, 0);
    for (qsizetype at = answerAt; at < honest.size(); at += 97) {
        QByteArray damaged = honest;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        const AssemblyRun d = exerciseAssembly(damaged, root.path());
        EXPECT_TRUE(d.finding.isEmpty()) << at << ' ' << d.finding.toStdString();
    }
    EXPECT_TRUE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty())
        << "each run leaves nothing behind";
}

TEST(AssemblyFuzzReplay, KeptInputsNeverPassUnsigned) {
    QTemporaryDir root;
    const QDir dir(QStringLiteral(SELVANIX_FUZZ_DIR "/regressions-assembly"));
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(exerciseAssembly(f.readAll(), root.path()).finding.isEmpty())
            << name.toStdString();
    }
}

}  // namespace
