// One holder at a time, whatever another user plants at the lock's name or however long the
// holder stays; a released lock leaves no file a later run could be refused by.
#include "platform/handles/FileLock.h"
#include "platform/handles/FolderHandle.h"

#include "support/OtherUser.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <future>

using namespace selvanix::platform;
using namespace std::chrono_literals;
using selvanix::test::writeBytes;

namespace {

class Lock : public ::testing::Test {
protected:
    std::variant<FileLock, FileLock::Refused> take(
        std::chrono::milliseconds wait = 0ms,
        FileLock::Access access = FileLock::Access::Write) const {
        return FileLock::take(*folder, "lock", access, wait);
    }
    static FileLock::Refusal why(const std::variant<FileLock, FileLock::Refused>& taken) {
        EXPECT_TRUE(std::holds_alternative<FileLock::Refused>(taken));
        return std::holds_alternative<FileLock::Refused>(taken)
                   ? std::get<FileLock::Refused>(taken).why
                   : FileLock::Refusal::Unopened;
    }
    QString at() const { return dir.path() + "/lock"; }
    QTemporaryDir dir;
    std::optional<FolderHandle> folder = FolderHandle::openHost(QFile::encodeName(dir.path()));
};

TEST_F(Lock, ASecondHolderWaitsItsTimeAndGetsTheLockOnceTheFirstLetsGo) {
    auto first = take();
    ASSERT_TRUE(std::holds_alternative<FileLock>(first));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(at()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // A second open file of the same process counts as another holder.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(why(take(300ms)), FileLock::Refusal::Busy);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
    // Let go during the wait: the waiter takes it.
    auto waiter = std::async(std::launch::async, [&] { return take(5000ms).index(); });
    std::get<FileLock>(first).release();
    EXPECT_EQ(waiter.get(), 0u);
    EXPECT_FALSE(QFileInfo::exists(at())) << "the last holder removes its file";
}

TEST_F(Lock, AWaiterOnAFileItsHolderRemovedTakesTheNameAnewNotTheOldFile) {
    auto first = take();
    ASSERT_TRUE(std::holds_alternative<FileLock>(first));
    auto second = std::async(std::launch::async, [&] { return take(5000ms); });
    std::this_thread::sleep_for(100ms);  // the waiter holds the first file open by now
    std::get<FileLock>(first).release();
    auto taken = second.get();
    ASSERT_TRUE(std::holds_alternative<FileLock>(taken));
    // The name stands for the file the second holds: a third run waits for it.
    EXPECT_TRUE(QFileInfo::exists(at()));
    EXPECT_EQ(why(take(100ms)), FileLock::Refusal::Busy);
}

TEST_F(Lock, WhatAnotherHandPlantsAtTheNameIsRefusedAndNeverFollowed) {
    writeBytes(dir.path() + "/victim", "keep");
    ASSERT_EQ(::symlink("victim", QFile::encodeName(at()).constData()), 0);
    EXPECT_EQ(why(take()), FileLock::Refusal::Link);
    EXPECT_EQ(selvanix::test::readBytes(dir.path() + "/victim"), QByteArray("keep"));
    QFile::remove(at());
    ASSERT_EQ(::link(QFile::encodeName(dir.path() + "/victim").constData(),
                     QFile::encodeName(at()).constData()),
              0);
    EXPECT_EQ(why(take()), FileLock::Refusal::SecondName);
    QFile::remove(at());
    // A pipe would hang an open that waits for a writer; it is refused at once.
    ASSERT_EQ(::mkfifo(QFile::encodeName(at()).constData(), 0600), 0);
    EXPECT_EQ(why(take()), FileLock::Refusal::NotRegular);
    QFile::remove(at());
    ASSERT_TRUE(QDir().mkdir(at()));
    EXPECT_EQ(why(take()), FileLock::Refusal::NotRegular);
    EXPECT_TRUE(QFileInfo(at()).isDir()) << "nothing planted is removed";
}

TEST_F(Lock, AnotherUsersFileIsNoLockAndAnotherUserCannotHoldOurs) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);  // the test's own
    // Planted by the other user: refused, and left where it is.
    const QByteArray planted = selvanix::test::runAsOtherUser([&] {
        return FolderHandle::openHost(QFile::encodeName(dir.path()))->createFile("lock", 0600)
                   ? QByteArray("made")
                   : QByteArray("refused");
    });
    ASSERT_EQ(planted, QByteArray("made"));
    const auto refused = take();
    ASSERT_EQ(why(refused), FileLock::Refusal::ForeignOwner);
    EXPECT_EQ(std::get<FileLock::Refused>(refused).owner, selvanix::test::kNobody);
    EXPECT_TRUE(QFileInfo::exists(at()));
    QFile::remove(at());
    // Ours: the other user can open it neither to write nor to read, so never holds it.
    auto ours = take();
    ASSERT_TRUE(std::holds_alternative<FileLock>(ours));
    const QByteArray held = selvanix::test::runAsOtherUser([&] {
        const auto taken = FileLock::take(*FolderHandle::openHost(QFile::encodeName(dir.path())),
                                          "lock", FileLock::Access::Read, 0ms);
        const auto* refused = std::get_if<FileLock::Refused>(&taken);
        return refused && refused->why == FileLock::Refusal::Unopened && refused->error == EACCES
                   ? QByteArray("denied")
                   : QByteArray("held");
    });
    EXPECT_EQ(held, QByteArray("denied"));
}

}  // namespace
