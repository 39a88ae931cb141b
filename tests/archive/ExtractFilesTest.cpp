#include "ExtractFixture.h"

#include "archive/Pakovna.h"
#include "archive/WildcardMatch.h"
#include "platform/FileOps.h"

#include "support/ScriptedDialogs.h"
#include "support/TestDrives.h"

#include <sys/stat.h>
#include <QDir>
#include <QFileInfo>

using namespace selvanix;
using namespace selvanix::test;
using platform::MessageButtons;
using platform::MessageResult;

namespace {

TEST(Wildcard, MatcherCorners) {
    struct Case {
        const char16_t* s;
        const char16_t* p;
        bool match;
    };
    const Case cases[] = {
        {u"setup.exe", u"*.exe", true},
        {u"bin/tool.EXE", u"*.exe", true},
        {u"setup.exe.bak", u"*.exe", false},
        {u"readme", u"*.*", true},
        {u"a", u"a**", false},
        {u"ab", u"a**", true},
        {u"abc", u"a?c", true},
        {u"ac", u"a?c", false},
        {u"ÁB", u"áb", false},
        {u"Ab", u"aB", true},
        {u"", u"*", true},
        {u"", u"", true},
        {u"x", u"", false},
        {u"abc", u"*c", true},
        {u"abc", u"*", true},
        {u"abc", u"*?", true},
        {u"pts/a.fr3", u"*.fr3", true},
        {u"a.fr3x", u"*.fr3", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArcWildcardMatch(QStringView(c.s), QStringView(c.p)), c.match)
            << QString::fromUtf16(c.s).toStdString() << " ~ "
            << QString::fromUtf16(c.p).toStdString();
    }
    // Name against mask.
    EXPECT_FALSE(ArcMatchesMask(u"a.exe", u""));
    EXPECT_TRUE(ArcMatchesMask(u"readme", u"*."));
    EXPECT_FALSE(ArcMatchesMask(u"readme.txt", u"*."));
    EXPECT_TRUE(ArcMatchesMask(u"readme.", u"*."));
    EXPECT_TRUE(ArcMatchesMask(u"dir/x", u"*.*"));
    EXPECT_TRUE(ArcMatchesMask(u"a.b.c", u"a*.*"));
}

TEST_F(ExtractFiles, StarDotExeSelection) {
    ZipWriter w;
    w.entries.push_back({.name = "setup.exe", .data = "s"});
    w.entries.push_back({.name = "Bin/Tool.EXE", .data = "t"});
    w.entries.push_back({.name = "x.exe/", .data = "", .method = 0, .externalAttr = 0x10});
    w.entries.push_back({.name = "setup.exe.bak", .data = "b"});
    w.entries.push_back({.name = "readme.txt", .data = "r"});
    write(w);
    open();
    arc.ExtractFiles("*.exe", DefaultSearchAttr, "");
    EXPECT_EQ(filesBelow(base), (QStringList{"Bin/", "Bin/Tool.EXE", "setup.exe", "x.exe/"}));
    EXPECT_EQ(readBytes(base + "/Bin/Tool.EXE"), QByteArray("t"));
}

TEST_F(ExtractFiles, NameWithoutWildcardMatchesTheLastComponentToo) {
    ZipWriter w;
    w.entries.push_back({.name = "app.exe", .data = "1"});
    w.entries.push_back({.name = "sub/app.exe", .data = "2"});
    w.entries.push_back({.name = "sub/other.exe", .data = "3"});
    write(w);
    open();
    arc.ExtractFiles("app.exe");
    EXPECT_EQ(filesBelow(base), (QStringList{"app.exe", "sub/", "sub/app.exe"}));
}

TEST_F(ExtractFiles, ProgressOfTwoEntriesAndOfNone) {
    ZipWriter w;
    w.entries.push_back({.name = "a.exe", .data = "aaaa", .method = 0});
    w.entries.push_back({.name = "b.dll", .data = textBytes(1000)});
    w.entries.push_back({.name = "c.exe", .data = "cc", .method = 0});
    write(w);
    open();
    QStringList events;
    arc.OnOverallProgress = [&](TArcBaseArchiver&, double p, TArcProcessOperation op,
                                TArcProgressPhase phase, bool&) {
        EXPECT_EQ(op, poExtract);
        events << QStringLiteral("all %1 %2").arg(p).arg(phase);
    };
    arc.OnFileProgress = [&](TArcBaseArchiver&, const QString& name, double p, TArcProcessOperation,
                             TArcProgressPhase phase, bool&) {
        events << QStringLiteral("%1 %2 %3").arg(name).arg(p).arg(phase);
    };
    arc.ExtractFiles("*.exe");
    EXPECT_EQ(events,
              (QStringList{"all 0 0", "a.exe 0 0", "a.exe 100 1", "all 50 1", "a.exe 100 2",
                           "c.exe 0 0", "c.exe 100 1", "all 100 1", "c.exe 100 2", "all 100 2"}));
    events.clear();
    arc.ExtractFiles("*.chm");
    EXPECT_EQ(events, (QStringList{"all 0 0", "all 100 2"}));
    arc.BaseDir = "C:\\T\\pts";
    arc.ExtractFiles("*.fr3");
    EXPECT_FALSE(QDir(base + "/pts").exists());  // nothing selected, nothing created
}

TEST_F(ExtractFiles, FailureDialogRetryIgnoreAndAbort) {
    ZipWriter w;
    w.entries.push_back({.name = "1.exe", .data = "one"});
    w.entries.push_back({.name = "2.exe", .data = "two", .crc = 1});
    w.entries.push_back({.name = "3.exe", .data = "three"});
    write(w);
    open();
    dialogs->messageAnswers = {MessageResult::Retry, MessageResult::Ignore};
    arc.ExtractFiles("*.exe");
    EXPECT_EQ(filesBelow(base), (QStringList{"1.exe", "3.exe"}));
    ASSERT_EQ(dialogs->calls.size(), 2u);
    EXPECT_EQ(dialogs->calls[0].text,
              QStringLiteral("Pakovna: Invalid size or check sum of file or unsupported "
                             "compression format - Native error: 00008. File processing error, "
                             "possibly disk is full"));
    EXPECT_EQ(dialogs->calls[0].buttons, MessageButtons::AbortRetryIgnore);

    QDir(base).removeRecursively();
    dialogs->calls.clear();
    dialogs->messageAnswers = {MessageResult::Abort};
    QStringList overall;
    arc.OnOverallProgress = [&](TArcBaseArchiver&, double p, TArcProcessOperation,
                                TArcProgressPhase phase, bool&) {
        if (phase != ppProcess) {
            overall << QString::number(p);
        }
    };
    arc.ExtractFiles("*.exe");  // returns normally
    EXPECT_EQ(filesBelow(base), QStringList{"1.exe"});
    EXPECT_EQ(overall, (QStringList{"0", "100"}));
    arc.ExtractFiles("3.exe");  // the next mask runs as usual
    EXPECT_EQ(filesBelow(base), (QStringList{"1.exe", "3.exe"}));
}

TEST_F(ExtractFiles, FailedEntryLeavesThePreviousFileByteIdentical) {
    writeBytes(base + "/keep.exe", "the previous version");
    ZipWriter w;
    w.entries.push_back({.name = "keep.exe", .data = textBytes(5000), .crc = 7});
    write(w);
    open();
    arc.OnProcessFileFailure = [](TPakovna&, const QString& name, TArcProcessOperation, int native,
                                  int, const QString&, TArcAction& action) {
        EXPECT_EQ(name, QStringLiteral("keep.exe"));
        EXPECT_EQ(native, 8);
        action = fxaIgnore;
    };
    arc.ExtractFiles("*.exe");
    EXPECT_EQ(readBytes(base + "/keep.exe"), QByteArray("the previous version"));
    EXPECT_EQ(filesBelow(base), QStringList{"keep.exe"});  // no temporary file remains
}

TEST_F(ExtractFiles, ReadOnlyTargetIsReplacedAndTakesTheEntrysAttributes) {
    writeBytes(base + "/ro.dll", "old");
    ASSERT_TRUE(platform::setFileAttributes("C:\\T\\ro.dll", platform::FILE_ATTRIBUTE_READONLY));
    ZipWriter w;
    w.entries.push_back({.name = "ro.dll", .data = "new", .externalAttr = 0x21});  // read-only
    w.entries.push_back({.name = "unix.dll",
                         .data = "u",
                         .versionMadeBy = 0x031E,
                         .externalAttr = (0104751u << 16)});  // set-uid must not survive
    write(w);
    open();
    arc.ExtractFiles("*.dll");
    EXPECT_EQ(readBytes(base + "/ro.dll"), QByteArray("new"));
    EXPECT_EQ(platform::fileAttributes("C:\\T\\ro.dll"),
              std::optional<std::uint32_t>(platform::FILE_ATTRIBUTE_READONLY));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(base + "/unix.dll").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
    // The entry's DOS time, read as local time.
    EXPECT_EQ(platform::lastWriteTime("C:\\T\\unix.dll"),
              std::optional<QDateTime>(QDateTime(QDate(2025, 1, 1), QTime(12, 0, 0))));
}

TEST_F(ExtractFiles, OverwriteModes) {
    writeBytes(base + "/a.exe", "old");
    ZipWriter w;
    w.entries.push_back({.name = "a.exe", .data = "new"});
    write(w);
    open();
    arc.Options.OverwriteMode = omNever;
    arc.ExtractFiles("*.exe");
    EXPECT_EQ(readBytes(base + "/a.exe"), QByteArray("old"));
    arc.Options.OverwriteMode = omPrompt;
    dialogs->messageAnswers = {MessageResult::No, MessageResult::YesToAll};
    arc.ExtractFiles("*.exe");
    EXPECT_EQ(readBytes(base + "/a.exe"), QByteArray("old"));
    arc.ExtractFiles("*.exe");
    EXPECT_EQ(readBytes(base + "/a.exe"), QByteArray("new"));
    EXPECT_EQ(arc.Options.OverwriteMode, omAlways);
    EXPECT_EQ(dialogs->calls[0].text,
              QStringLiteral("Overwrite file \"C:\\T\\a.exe\" with \"a.exe\""));
    EXPECT_EQ(dialogs->calls[0].buttons, MessageButtons::YesNoNoToAllYesToAll);
}

TEST_F(ExtractFiles, EntriesNeverLeaveTheBaseFolder) {
    ZipWriter w;
    for (const char* name : {"../evil.exe", "/abs.exe", "C:\\drive.exe", "a/../../up.exe",
                             "ctl\x01.exe", "ok/../fine.exe", "..\\back.exe"}) {
        w.entries.push_back({.name = name, .data = "x"});
    }
    write(w);
    open();
    QStringList failed;
    arc.OnProcessFileFailure = [&](TPakovna&, const QString& name, TArcProcessOperation, int native,
                                   int, const QString& message, TArcAction& action) {
        EXPECT_EQ(native, 19);
        EXPECT_TRUE(message.contains(name)) << message.toStdString();
        failed << name;
        action = fxaIgnore;
    };
    arc.ExtractFiles("*.exe");
    EXPECT_EQ(failed.size(), 6);
    EXPECT_EQ(filesBelow(drives.root(u'C')), (QStringList{"T/", "T/fine.exe", "pkg.zip"}));
    EXPECT_FALSE(QFile::exists("/abs.exe"));
}

TEST_F(ExtractFiles, OpeningErrors) {
    EXPECT_EQ(nativeErrorOf([&] { arc.ExtractFiles("*.exe"); }), 13);
    arc.FileName = "C:\\";
    EXPECT_EQ(nativeErrorOf([&] { arc.OpenArchive(0); }), 10);
    arc.FileName = "C:\\missing.zip";
    try {
        arc.OpenArchive(0);
        FAIL();
    } catch (const EArcException& e) {
        EXPECT_EQ(e.NativeError(), 12);
        EXPECT_EQ(
            e.message(),
            QStringLiteral("Pakovna: File \"C:\\missing.zip\" not found - Native error: 00012"));
    }
    // On a removable drive a missing archive is asked for as the last disk.
    drives.add(u'A', platform::DRIVE_REMOVABLE);
    arc.FileName = "A:\\pkg.zip";
    dialogs->messageAnswers = {MessageResult::Ok, MessageResult::Cancel};
    EXPECT_EQ(nativeErrorOf([&] { arc.OpenArchive(0); }), 45);
    ASSERT_EQ(dialogs->calls.size(), 2u);
    EXPECT_EQ(dialogs->calls[0].text, QStringLiteral("Please insert the last disk"));
    EXPECT_EQ(dialogs->calls[1].text,
              QStringLiteral("File 'A:\\pkg.zip' not found on inserted disk. Please insert last "
                             "disk with required file"));
}

}  // namespace
