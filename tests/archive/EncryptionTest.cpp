#include "ArchiveTesting.h"

#include "support/ScriptedDialogs.h"

using namespace selvanix;
using namespace selvanix::test;

namespace {

class Encryption : public ::testing::Test {
protected:
    Encryption() { platform::setDialogs(dialogs); }
    ~Encryption() override { platform::setDialogs(nullptr); }
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
};

ZipWriter encryptedArchive() {
    ZipWriter w;
    w.entries.push_back({.name = "dir/a.exe", .data = textBytes(70000), .password = "tajne"});
    w.entries.push_back(
        {.name = "b.dll", .data = randomBytes(150000), .method = 0, .password = "tajne"});
    w.entries.push_back({.name = "c.sql",
                         .data = textBytes(3000),
                         .time = 0xAB12,
                         .password = "tajne",
                         .dataDescriptor = true});
    return w;
}

TEST_F(Encryption, RightPasswordAfterAWrongOneAndThenNoMoreQuestions) {
    TArcBaseArchiver arc;
    openBytes(arc, encryptedArchive().build());
    dialogs->passwordAnswers = {QString("wrong"), QString("tajne")};
    EXPECT_EQ(decode(arc, 0), textBytes(70000));
    ASSERT_EQ(dialogs->calls.size(), 2u);
    EXPECT_EQ(dialogs->calls[0].caption, QStringLiteral("Password for \"dir/a.exe\""));
    EXPECT_EQ(dialogs->calls[0].text, QStringLiteral("Enter password: "));
    EXPECT_EQ(dialogs->calls[0].maxLength, 255);
    EXPECT_EQ(arc.Password, QByteArray("tajne"));
    // The kept password opens the stored entry and the one with a data descriptor, whose
    // check byte is the time's high byte.
    EXPECT_EQ(decode(arc, 1), randomBytes(150000));
    EXPECT_EQ(decode(arc, 2), textBytes(3000));
    EXPECT_EQ(dialogs->calls.size(), 2u);
}

TEST_F(Encryption, CancelSkipsTheEntrySilently) {
    TArcBaseArchiver arc;
    openBytes(arc, encryptedArchive().build());
    dialogs->passwordAnswers = {std::nullopt};
    EXPECT_EQ(decode(arc, 0), QByteArray());
    EXPECT_TRUE(arc.skippingFile());
    EXPECT_TRUE(arc.Password.isEmpty());
}

TEST_F(Encryption, PasswordEventReplacesTheDialog) {
    TArcBaseArchiver arc;
    openBytes(arc, encryptedArchive().build());
    int asked = 0;
    arc.OnPassword = [&](TArcBaseArchiver&, const QString& name, QByteArray& password, bool&) {
        EXPECT_EQ(name, QStringLiteral("c.sql"));
        ++asked;
        password = "tajne";
    };
    EXPECT_EQ(decode(arc, 2), textBytes(3000));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(dialogs->calls.empty());
}

TEST_F(Encryption, PasswordPassingTheCheckButWrongFails8) {
    // Find a wrong password whose check byte happens to match (1 in 256).
    ZipWriter w;
    w.entries.push_back({.name = "a.exe", .data = textBytes(2000), .password = "right"});
    const QByteArray bytes = w.build();
    TArcBaseArchiver arc;
    openBytes(arc, bytes);
    arc.OnPassword = [](TArcBaseArchiver&, const QString&, QByteArray&, bool& skip) {
        skip = true;
    };
    int passedCheck = 0;
    for (int i = 0; i < 3000; ++i) {
        arc.Password = "guess" + QByteArray::number(i);
        const int error = nativeErrorOf([&] { decode(arc, 0); });
        if (!arc.skippingFile()) {
            EXPECT_EQ(error, 8) << i;  // garbage never passes the CRC-32 test
            ++passedCheck;
        }
    }
    EXPECT_GT(passedCheck, 0);
}

}  // namespace
