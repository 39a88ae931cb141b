// A commit never takes a missing staged file for one put in place: before the commit record
// the run fails with nothing changed; after it, only a destination holding the written bytes
// counts as done, and otherwise the journal stays and says which file is lost.
#include "store/Recovery.h"
#include "store/Transaction.h"

#include "archive/Crc32.h"
#include "platform/handles/StagedFile.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace selvanix::test {
namespace {

const QByteArray kTag = "00112233445566ff";

class Commit : public ::testing::Test {
protected:
    void SetUp() override {
        writeBytes(path("a.dll"), "old a");
        writeBytes(path("lib/b.dll"), "old b");
    }
    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    platform::FolderHandle target() const { return *platform::FolderHandle::open(dir.path()); }
    QString temporary(const QString& name) const {
        const QFileInfo info(path(name));
        return info.path() + u'/' +
               QFile::decodeName(platform::temporaryName(QFile::encodeName(info.fileName()), kTag));
    }
    // Stages a file as an installation does: journalled, written, journalled as written.
    static void stage(TargetTransaction& t, const QString& name, const QByteArray& data) {
        ASSERT_TRUE(t.staging(name));
        const auto place = placeOf(t.target(), name);
        ASSERT_TRUE(place);
        std::optional<platform::StagedFile> staged =
            platform::StagedFile::create(place->folder, place->leaf, kTag);
        ASSERT_TRUE(staged && staged->file().write(data) && staged->keep());
        ASSERT_TRUE(t.written(name, staged->identity(), crc32Of(data.constData(), data.size())));
    }
    Recovered recover() const {
        const platform::FolderHandle folder = target();
        auto lock = TargetLock::take(folder, dir.path());
        EXPECT_TRUE(std::holds_alternative<TargetLock>(lock));
        return recoverTarget(folder, std::get<TargetLock>(lock));
    }
    // A committed journal naming a.dll as written with these bytes.
    void committedJournal(const QByteArray& written) const {
        const QByteArray crc = QByteArray::number(crc32Of(written.constData(), written.size()), 16)
                                   .rightJustified(8, '0');
        writeBytes(path(".selvanix/journal"), "selvanix-journal 1\nkind repair\ntag " + kTag +
                                                  "\nstage a.dll\nwritten " + crc + ' ' +
                                                  QByteArray::number(written.size()) +
                                                  " a.dll\nstage lib/b.dll\ncommit\n");
    }
    QTemporaryDir dir;
};

TEST_F(Commit, AStagedFileRemovedOrReplacedBeforeTheCommitIsNamedAndNothingChanges) {
    std::optional<TargetTransaction> t =
        TargetTransaction::begin(target(), Journal::Kind::Install, kTag);
    ASSERT_TRUE(t);
    stage(*t, "a.dll", "new a");
    stage(*t, "lib/b.dll", "new b");
    EXPECT_EQ(t->missingStaged(), std::nullopt);
    // Another file of the same name and size in its place is not the one written.
    QFile::remove(temporary("lib/b.dll"));
    writeBytes(temporary("lib/b.dll"), "mine!");
    EXPECT_EQ(t->missingStaged(), std::optional<QString>("lib/b.dll"));
    QFile::remove(temporary("lib/b.dll"));
    EXPECT_EQ(t->missingStaged(), std::optional<QString>("lib/b.dll"));
    t->discard();
    EXPECT_EQ(readBytes(path("a.dll")), QByteArray("old a"));
    EXPECT_EQ(readBytes(path("lib/b.dll")), QByteArray("old b"));
    EXPECT_FALSE(QFileInfo::exists(temporary("a.dll")));
}

TEST_F(Commit, AMissingTemporaryCountsAsDoneOnlyWhenItsDestinationHoldsTheWrittenFile) {
    // An earlier try renamed it: the destination has the written bytes.
    writeBytes(path("a.dll"), "new a");
    committedJournal("new a");
    Recovered done = recover();
    EXPECT_EQ(done.state, Recovery::RolledForward);
    EXPECT_TRUE(done.lost.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path(".selvanix/journal")));

    // Somebody removed it: the destination is still the old file. Nothing says what belongs
    // there, so the journal stays and names it, whatever the next touch.
    writeBytes(path("a.dll"), "old a");
    committedJournal("new a");
    for (int touch = 0; touch < 2; ++touch) {
        const Recovered lost = recover();
        EXPECT_EQ(lost.state, Recovery::Failed);
        EXPECT_EQ(lost.lost, QStringList{"a.dll"});
        EXPECT_TRUE(QFileInfo::exists(path(".selvanix/journal")));
        EXPECT_EQ(readBytes(path("a.dll")), QByteArray("old a"));
    }
    // lib/b.dll was never written whole (its entry failed): its absence loses nothing.
    writeBytes(path("a.dll"), "new a");
    EXPECT_EQ(recover().state, Recovery::RolledForward);
    EXPECT_EQ(readBytes(path("lib/b.dll")), QByteArray("old b"));
}

TEST_F(Commit, TheJournalReadsBackTheWrittenFilesAndRefusesDamagedOnes) {
    const QByteArray text = "selvanix-journal 1\nkind install\ntag " + kTag +
                            "\nstage a.dll\nwritten 0000abcd 5 a.dll\nwritten-record 00001234 "
                            "99 manifest\ncommit\n";
    const std::optional<Journal> journal = Journal::fromText(text);
    ASSERT_TRUE(journal);
    ASSERT_TRUE(journal->written.contains("a.dll"));
    EXPECT_EQ(journal->written.at("a.dll").crc, 0xabcdu);
    EXPECT_EQ(journal->written.at("a.dll").size, 5u);
    ASSERT_TRUE(journal->writtenRecord);
    EXPECT_EQ(journal->writtenRecord->size, 99u);
    EXPECT_TRUE(journal->committed);
    for (const QByteArray& damaged :
         {QByteArray("written zz 5 a.dll\n"), QByteArray("written 0000abcd 5 ../outside\n"),
          QByteArray("written 0000abcd\n")}) {
        EXPECT_FALSE(
            Journal::fromText("selvanix-journal 1\nkind install\ntag " + kTag + '\n' + damaged))
            << damaged.toStdString();
    }
}

}  // namespace
}  // namespace selvanix::test
