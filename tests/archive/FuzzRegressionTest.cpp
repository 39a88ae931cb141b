// Every input kept from fuzzing, and the seeds, go through both fuzzers' routines again.
#include "ExerciseArchive.h"
#include "ExerciseExtraction.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(FuzzRegression, KeptInputsDecodeWithoutHarm) {
    int inputs = 0;
    for (const char* folder : {SELVANIX_FUZZ_DIR "/seeds", SELVANIX_FUZZ_DIR "/regressions"}) {
        const QDir dir(QString::fromUtf8(folder));
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile f(dir.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            selvanix::fuzz::exerciseArchive(bytes);
            QTemporaryDir root;
            EXPECT_EQ(selvanix::fuzz::exerciseExtraction(bytes, root.path()), QString())
                << name.toStdString();
            ++inputs;
        }
    }
    EXPECT_GE(inputs, 8);
    // The seeds are sound archives: each lists its entries.
    QFile plain(QStringLiteral(SELVANIX_FUZZ_DIR "/seeds/plain.zip"));
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_EQ(selvanix::fuzz::exerciseArchive(plain.readAll()), 4);
}

}  // namespace
