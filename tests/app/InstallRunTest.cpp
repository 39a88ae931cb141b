// The whole installation run and the self-update, end to end: a real HTTP server on
// loopback serving packages made here, test drives over temporary folders, scripted dialogs
// and a shell that records what it is asked to open.
#include "InstallFixture.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>

#include "platform/ShellOpen.h"
#include "profile/IniFile.h"
#include "store/TargetLock.h"
#include "support/OtherUser.h"
#include "support/TestHttpServer.h"
#include "support/TestNginx.h"
#include "support/ZipWriter.h"

namespace selvanix::test {
namespace {

TEST_F(InstallRun, FromTheInternetIntoTwoTargetFields) {
    const QString c = drives.add(u'C');
    const QString d = drives.add(u'D');
    QDir().mkpath(c + QStringLiteral("/A"));
    QDir().mkpath(d + QStringLiteral("/B"));
    servePackage();
    auto w = start(
        "program=1\r\nodkud=1\r\ncilinstalace=0\r\nkamcestaI=C:\\A\r\n"
        "kamcestaIII=D:\\B\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);

    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
              QStringLiteral("Instalace byla dokončena."));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 2x"));
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
    EXPECT_FALSE(control<QWidget>(*w, "PanStartBar")->isVisible());
    EXPECT_FALSE(control<QLabel>(*w, "LbVerze")->isVisible());
    EXPECT_EQ(finalLines(*w), QStringList{QStringLiteral("LbKde")});
    EXPECT_EQ(control<QLabel>(*w, "LbKde")->text(),
              QStringLiteral("Verze 14,20 v C:\\A a 1 další"));
    EXPECT_EQ(control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->text() + u'/', ownFolder());
    expectInstalled(c + QStringLiteral("/A"));
    expectInstalled(d + QStringLiteral("/B"));
    // Konec has the focus, so Return ends the program without a Tab first.
    EXPECT_EQ(w->focusWidget(), control<QPushButton>(*w, "BtnKonec"));
    QTest::keyClick(w.get(), Qt::Key_Return);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(setting(c + QStringLiteral("/A/upgrade.kac"), "kamcestaI"), QStringLiteral("C:\\A"));
    EXPECT_EQ(setting(c + QStringLiteral("/A/upgrade.kac"), "kamcestaIII"),
              QStringLiteral("D:\\B"));
    EXPECT_EQ(setting(d + QStringLiteral("/B/upgrade.kac"), "kamcestaI"), QStringLiteral("D:\\B"));
    EXPECT_EQ(setting(d + QStringLiteral("/B/upgrade.kac"), "kamcestaIII"),
              QStringLiteral("D:\\B"));
    ASSERT_EQ(shell->requests.size(), 2u);
    EXPECT_EQ(shell->requests[0].file, QStringLiteral("brodelik.exe"));
    EXPECT_EQ(shell->requests[0].dir, QStringLiteral("C:\\A\\"));
    EXPECT_EQ(shell->requests[1].dir, QStringLiteral("D:\\B\\"));
    EXPECT_EQ(shell->requests[1].show, platform::SW_SHOWNORMAL);
    EXPECT_EQ(control<QProgressBar>(*w, "BarStartB")->value(), 100);
    // The window's run is in the support log as the command line's is.
    const QByteArray log = readBytes(logPath());
    EXPECT_TRUE(log.contains("target C:\\A: installed")) << log.toStdString();
    EXPECT_TRUE(log.contains("outcome: installed, installed 2")) << log.toStdString();
}

TEST_F(InstallRun, FromAFolderWithATrailingSeparatorAndNothingToStart) {
    const QString c = packageOnDiskE(false);
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    QTest::keyClicks(control<ui::DirectoryEdit>(*w, "EdOdkudCesta"), QStringLiteral("E:\\pkg\\"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    EXPECT_EQ(control<QLabel>(*w, "LbKde")->text(), QStringLiteral("Verze 14,20 v C:\\A"));
    EXPECT_EQ(w->runState().Cestaini, QStringLiteral("E:\\pkg\\\\brodelik.ini"));
    expectInstalled(c + QStringLiteral("/A"));
    EXPECT_TRUE(shell->requests.empty());
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(InstallRun, AnArchiveMissingOnTheServerMeansNoPackage) {
    drives.add(u'C');
    servePackage(false);
    auto w = start("program=1\r\nodkud=1\r\nkamcestaI=C:\\A\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(), QStringLiteral("Nebyl nalezen"));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("instalační balíček"));
    EXPECT_TRUE(QFileInfo::exists(ownFolder() + QStringLiteral("brodelik.ini")));
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
    EXPECT_FALSE(control<QLabel>(*w, "LbVerze")->isVisible());
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(InstallRun, NoTargetFolderEndsWithTheErrorScreen) {
    servePackage();
    auto w = start("program=1\r\nodkud=1\r\ncilinstalace=0\r\n");
    targetField(*w, 0)->clear();  // the installer's own folder stands there at start
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(), QStringLiteral("Chyba Instalace"));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(),
              QStringLiteral("Nenašel jsem složku, kde máte"));
    EXPECT_EQ(control<QLabel>(*w, "LbVerze")->text(), QStringLiteral("nainstalovanou předchozí"));
    EXPECT_EQ(control<QLabel>(*w, "LbDatum")->text(), QStringLiteral("verzi programu."));
    EXPECT_TRUE(control<QLabel>(*w, "LbVerze")->isVisible());
    EXPECT_EQ(control<QLabel>(*w, "LbVerze")->palette().color(QPalette::WindowText),
              QColor(0, 0, 255));
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
    EXPECT_EQ(finalLines(*w), (QStringList{QStringLiteral("LbVerze"), QStringLiteral("LbDatum"),
                                           QStringLiteral("LbReason")}));
}

TEST_F(InstallRun, SearchModeInstallsWhereTheProgramIsFound) {
    const QString c = drives.add(u'C');
    const QString d = drives.add(u'D');
    const QString f = drives.add(u'F', platform::DRIVE_REMOVABLE);
    writeBytes(c + QStringLiteral("/Prog/Brodelik/brodelik.exe"), "old");
    writeBytes(d + QStringLiteral("/brodelik.exe"), "old");
    writeBytes(f + QStringLiteral("/Stick/brodelik.exe"), "old");  // not a fixed drive
    servePackage();
    auto w = start("program=1\r\nodkud=1\r\ncilinstalace=1\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 2x"));
    expectInstalled(c + QStringLiteral("/Prog/Brodelik"));
    expectInstalled(d);
    EXPECT_EQ(readBytes(d + QStringLiteral("/brodelik.exe")), kProgram);
    EXPECT_EQ(setting(d + QStringLiteral("/upgrade.kac"), "kamcestaI"), QStringLiteral("D:"));
    EXPECT_FALSE(QFileInfo::exists(f + QStringLiteral("/Stick/upgrade.kac")));
    ASSERT_EQ(shell->requests.size(), 2u);
    EXPECT_EQ(shell->requests[0].dir, QStringLiteral("C:\\Prog\\Brodelik\\"));
    EXPECT_EQ(shell->requests[1].dir, QStringLiteral("D:\\"));
}

// An unprivileged user's search meets a folder only root may enter: it is skipped, the run
// goes on, and the run screen says how many such folders there were.
TEST_F(InstallRun, SearchModeSaysHowManyFoldersItCouldNotEnter) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const QString c = packageOnDiskE(false);
    writeBytes(c + QStringLiteral("/Prog/brodelik.exe"), "old");
    QDir().mkpath(c + QStringLiteral("/Locked/Deep"));
    writeBytes(c + QStringLiteral("/Locked/Deep/brodelik.exe"), "old");
    for (const char* owned : {"/Prog", "/Prog/brodelik.exe"}) {
        ASSERT_EQ(
            ::chown(QFile::encodeName(c + QLatin1String(owned)).constData(), kNobody, kNobody), 0);
    }
    ::chmod(QFile::encodeName(c + QStringLiteral("/Locked")).constData(), 0700);
    auto w = start("program=1\r\nodkud=2\r\ncilinstalace=1\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    const QByteArray report = runAsOtherUser([&] {
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        return (control<ui::Label3D>(*w, "LbRadekB")->text() + u'|' +
                control<QLabel>(*w, "LbRadekC")->text() + u'|' +
                (control<QLabel>(*w, "LbRadekC")->isVisible() ? u'+' : u'-') + u'|' +
                QString::number(dialogs->calls.size()) + u'|' + finalLines(*w).join(u','))
            .toUtf8();
    });
    EXPECT_EQ(
        QString::fromUtf8(report),
        QStringLiteral("Instaloval jsem 1x|Přeskočeno složek bez přístupu: 1|+|0|LbKde,LbRadekC"));
}

TEST_F(InstallRun, AMissingLastTargetEndsTheRunBeforeAnyTargetChanges) {
    const QString c = drives.add(u'C');
    QDir().mkpath(c + QStringLiteral("/A"));
    QDir().mkpath(c + QStringLiteral("/B"));
    servePackage();
    // Q: is not a drive: the third target cannot be written, so none is.
    auto w = start(
        "program=1\r\nodkud=1\r\nkamcestaI=C:\\A\r\nkamcestaII=C:\\B\r\nkamcestaIII=Q:\\X\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_TRUE(QDir(c + QStringLiteral("/A")).isEmpty());
    EXPECT_TRUE(QDir(c + QStringLiteral("/B")).isEmpty());
    EXPECT_TRUE(shell->requests.empty());
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
              QStringLiteral("Instalace nebyla dokončena."));
    EXPECT_EQ(control<QLabel>(*w, "LbReason")->text(), QStringLiteral("Složka Q:\\X neexistuje."));
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
}

// A target holding 14,20, and a package of 9,00 (or of a version no one can compare).
// Another run (the command line, a second window) holds a target: the run ends before any
// target changes, on the final screen that names the folder.
TEST_F(InstallRun, ATargetAnotherRunHoldsEndsTheRunWithItsFolderNamed) {
    const QString c = packageOnDiskE(true);
    QDir().mkpath(c + QStringLiteral("/B"));
    const std::optional<platform::FolderHandle> b =
        platform::FolderHandle::openHost(QFile::encodeName(c + QStringLiteral("/B")));
    auto held = TargetLock::take(*b, c + QStringLiteral("/B"));
    ASSERT_TRUE(std::holds_alternative<TargetLock>(held));
    qputenv("SELVANIX_LOCK_WAIT_MS", "200");
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\nkamcestaII=C:\\B\r\n");
    QTest::keyClicks(control<ui::DirectoryEdit>(*w, "EdOdkudCesta"), QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    qunsetenv("SELVANIX_LOCK_WAIT_MS");
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
              QStringLiteral("Instalace nebyla dokončena."));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(),
              QStringLiteral("Složky zůstaly beze změny."));
    EXPECT_EQ(control<QLabel>(*w, "LbReason")->text(),
              QStringLiteral("Složku C:\\B právě mění jiné spuštění programu Selvanix; zkuste to "
                             "znovu, až skončí."));
    EXPECT_TRUE(finalLines(*w).contains(QStringLiteral("LbReason")));
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
    EXPECT_FALSE(QFileInfo::exists(c + QStringLiteral("/A/brodelik.exe")));
    EXPECT_FALSE(QFileInfo::exists(c + QStringLiteral("/A/.selvanix")));
    EXPECT_TRUE(shell->requests.empty());
}

// The window's start recovers the targets it names, but never a journal whose run goes on.
TEST_F(InstallRun, TheStartLeavesTheJournalOfARunStillGoingOnAlone) {
    const QString a = drives.add(u'C') + QStringLiteral("/A");
    const QByteArray tag = "0123456789abcdef";
    writeBytes(a + QStringLiteral("/.selvanix/journal"),
               "selvanix-journal 1\nkind install\ntag " + tag + "\nstage brodelik.exe\n");
    const QString staged =
        a + QStringLiteral("/.brodelik.exe.") + QString::fromLatin1(tag) + QStringLiteral(".tmp");
    writeBytes(staged, "being written");
    {
        const std::optional<platform::FolderHandle> folder =
            platform::FolderHandle::openHost(QFile::encodeName(a));
        auto held = TargetLock::take(*folder, a);
        ASSERT_TRUE(std::holds_alternative<TargetLock>(held));
        auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
        EXPECT_EQ(readBytes(staged), QByteArray("being written"));
        EXPECT_TRUE(QFileInfo::exists(a + QStringLiteral("/.selvanix/journal")));
    }
    // Its run is gone: the next start undoes what it left.
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    EXPECT_FALSE(QFileInfo::exists(staged));
    EXPECT_FALSE(QFileInfo::exists(a + QStringLiteral("/.selvanix")));
}

// A folder that holds another product is installed into only on a yes; named in two fields,
// one folder is installed once and counted as the fields name it.
TEST_F(InstallRun, AnotherProductsFolderAsksOnceAndAFolderNamedTwiceIsInstalledOnce) {
    const QString c = packageOnDiskE(true);
    auto first = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\nkamcestaII=C:\\A\r\n");
    control<ui::DirectoryEdit>(*first, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*first, "BtnOK"), Qt::LeftButton);
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*first, "LbRadekA")->text(),
              QStringLiteral("Instalace byla dokončena."));
    EXPECT_EQ(control<ui::Label3D>(*first, "LbRadekB")->text(),
              QStringLiteral("Instaloval jsem 2x"));
    EXPECT_EQ(shell->requests.size(), 1u) << "one folder, one start";
    const QByteArray record = readBytes(c + QStringLiteral("/A/.selvanix/manifest"));

    const QString e = drives.root(u'E');
    writeBytes(e + QStringLiteral("/pkg/pesmarin.ini"),
               descriptor(false).replace("brodelik.exe", "pesmarin.exe"));
    writeBytes(e + QStringLiteral("/pkg/upgrade-pesmarin.zip"), packageArchive());
    for (const auto answer : {platform::MessageResult::No, platform::MessageResult::Yes}) {
        dialogs->calls.clear();
        dialogs->messageAnswers = {answer};
        auto w = start("program=2\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        ASSERT_EQ(dialogs->calls.size(), 1u);
        EXPECT_EQ(dialogs->calls[0].kind, ScriptedDialogs::Kind::Confirm);
        EXPECT_EQ(dialogs->calls[0].caption, QStringLiteral("Potvrzení"));
        EXPECT_EQ(dialogs->calls[0].text,
                  QStringLiteral("Ve složce C:\\A je nainstalován jiný program (Brodělík). "
                                 "Přesto do ní instalovat Brodělík?"));
        if (answer == platform::MessageResult::No) {
            EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
                      QStringLiteral("Jiný program ve složce"));
            EXPECT_EQ(readBytes(c + QStringLiteral("/A/.selvanix/manifest")), record);
        } else {
            EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
                      QStringLiteral("Instalace byla dokončena."));
            EXPECT_TRUE(readBytes(c + QStringLiteral("/A/.selvanix/manifest"))
                            .startsWith("selvanix-manifest 1\nstem pesmarin\n"));
        }
    }
}

TEST_F(InstallRun, AnOlderPackageIsInstalledOnlyWhenTheUserSaysYes) {
    const QString c = packageOnDiskE(false);
    auto first = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    control<ui::DirectoryEdit>(*first, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*first, "BtnOK"), Qt::LeftButton);
    ASSERT_EQ(control<ui::Label3D>(*first, "LbRadekB")->text(),
              QStringLiteral("Instaloval jsem 1x"));
    const QByteArray record = readBytes(c + QStringLiteral("/A/.selvanix/manifest"));
    const QString e = drives.root(u'E');
    for (const auto& [version, question] :
         {std::pair{QByteArray("9,00"), QStringLiteral("Balíček má starší verzi 9,00, než je "
                                                       "nainstalovaná verze 14,20. Přesto "
                                                       "instalovat?")},
          std::pair{QByteArray("14,20b"), QStringLiteral("Verzi balíčku 14,20b nelze porovnat s "
                                                         "nainstalovanou verzí 14,20. Přesto "
                                                         "instalovat?")}}) {
        writeBytes(e + QStringLiteral("/pkg/brodelik.ini"),
                   descriptor(false).replace("verze=14,20", "verze=" + version));
        dialogs->calls.clear();
        dialogs->messageAnswers = {platform::MessageResult::No};
        auto no = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
        control<ui::DirectoryEdit>(*no, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*no, "BtnOK"), Qt::LeftButton);
        ASSERT_EQ(dialogs->calls.size(), 1u) << version.toStdString();
        EXPECT_EQ(dialogs->calls[0].kind, ScriptedDialogs::Kind::Confirm);
        EXPECT_EQ(dialogs->calls[0].caption, QStringLiteral("Potvrzení"));
        EXPECT_EQ(dialogs->calls[0].text, question);
        EXPECT_EQ(control<ui::Label3D>(*no, "LbRadekA")->text(),
                  QStringLiteral("Starší verze balíčku"));
        EXPECT_TRUE(control<QPushButton>(*no, "BtnKonec")->isVisible());
        EXPECT_EQ(readBytes(c + QStringLiteral("/A/.selvanix/manifest")), record);
    }
    dialogs->calls.clear();
    dialogs->messageAnswers = {platform::MessageResult::Yes};
    auto yes = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    control<ui::DirectoryEdit>(*yes, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*yes, "BtnOK"), Qt::LeftButton);
    EXPECT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(control<ui::Label3D>(*yes, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    EXPECT_TRUE(
        readBytes(c + QStringLiteral("/A/.selvanix/manifest")).contains("\nversion 14,20b\n"));
}

// The third entry of the second target stands where a folder is: the failure dialog asks.
class FailedEntry : public InstallRun {
protected:
    void SetUp() override {
        c = packageOnDiskE(false);
        for (const char* t : {"/A", "/B"}) {
            writeBytes(c + t + QStringLiteral("/brodelik.exe"), "old program");
            writeBytes(c + t + QStringLiteral("/data/brodelik.sql"), "old data");
        }
        QDir().mkpath(c + QStringLiteral("/B/brodelik.chm"));
    }
    std::unique_ptr<TFrDRozbal> runAnswering(platform::MessageResult answer) {
        dialogs->messageAnswers = {answer};
        auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\nkamcestaII=C:\\B\r\n");
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        return w;
    }
    QString c;
};

TEST_F(FailedEntry, AbortLeavesBothTargetsOldOnAFailureScreen) {
    auto w = runAnswering(platform::MessageResult::Abort);
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].kind, ScriptedDialogs::Kind::Message);
    for (const char* t : {"/A", "/B"}) {
        const QString target = c + QLatin1String(t);
        EXPECT_EQ(readBytes(target + "/brodelik.exe"), QByteArray("old program")) << t;
        EXPECT_EQ(readBytes(target + "/data/brodelik.sql"), QByteArray("old data")) << t;
        EXPECT_FALSE(QFileInfo::exists(target + "/lib/engine.dll")) << t;
        EXPECT_FALSE(QFileInfo::exists(target + "/upgrade.kac")) << t;
        EXPECT_TRUE(QDir(target).entryList({".*.tmp"}, QDir::Files | QDir::Hidden).isEmpty());
    }
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
              QStringLiteral("Instalace nebyla dokončena."));
    EXPECT_TRUE(control<QLabel>(*w, "LbReason")
                    ->text()
                    .startsWith(QStringLiteral("Balíček se nepodařilo rozbalit do C:\\B")))
        << control<QLabel>(*w, "LbReason")->text().toStdString();
    EXPECT_TRUE(control<QLabel>(*w, "LbReason")
                    ->text()
                    .endsWith(QStringLiteral("Nenainstalováno: brodelik.chm.")))
        << control<QLabel>(*w, "LbReason")->text().toStdString();
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
    EXPECT_TRUE(shell->requests.empty());
}

TEST_F(FailedEntry, IgnoreKeepsThatEntrysOldFileAndCountsIt) {
    auto w = runAnswering(platform::MessageResult::Ignore);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
              QStringLiteral("Instalace byla dokončena."));
    EXPECT_EQ(control<QLabel>(*w, "LbVynechano")->text(),
              QStringLiteral("Nenainstalováno souborů: 1"));
    EXPECT_EQ(finalLines(*w), (QStringList{QStringLiteral("LbKde"), QStringLiteral("LbVynechano"),
                                           QStringLiteral("LbReason")}));
    // Which file, and the archiver's words where no cause of ours fits.
    EXPECT_TRUE(control<QLabel>(*w, "LbReason")
                    ->text()
                    .startsWith(QStringLiteral("Nenainstalováno: brodelik.chm (")))
        << control<QLabel>(*w, "LbReason")->text().toStdString();
    expectInstalled(c + QStringLiteral("/A"));
    EXPECT_TRUE(QFileInfo(c + QStringLiteral("/B/brodelik.chm")).isDir());
    EXPECT_EQ(readBytes(c + QStringLiteral("/B/brodelik.exe")), kProgram);
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
}

// Skipped files and a program that could not start: each has its own line, none covers another.
TEST_F(FailedEntry, EveryOutcomeLineOfASuccessShowsInItsOwnPlace) {
    writeBytes(drives.root(u'E') + QStringLiteral("/pkg/brodelik.ini"),
               descriptor(false) + "run=missing.exe\r\n");
    auto w = runAnswering(platform::MessageResult::Ignore);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 2x"));
    EXPECT_EQ(finalLines(*w), (QStringList{QStringLiteral("LbKde"), QStringLiteral("LbVynechano"),
                                           QStringLiteral("LbReason")}));
    EXPECT_EQ(control<QLabel>(*w, "LbKde")->text(),
              QStringLiteral("Verze 14,20 v C:\\A a 1 další"));
    EXPECT_EQ(control<QLabel>(*w, "LbVynechano")->text(),
              QStringLiteral("Nenainstalováno souborů: 1"));
    EXPECT_TRUE(control<QLabel>(*w, "LbReason")->text().contains(QStringLiteral("missing.exe")))
        << control<QLabel>(*w, "LbReason")->text().toStdString();
}

// What the detail line shows while entries are extracted, and when. The first paints are
// slowed, so that the run lasts long enough to learn its pace.
class DetailLineWatch : public QObject {
public:
    struct Shown {
        QString text;
        qint64 ms;
    };
    explicit DetailLineWatch(QLabel* line) { line->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QString text = static_cast<QLabel*>(watched)->text();
        if (event->type() == QEvent::Paint && text.contains(QStringLiteral(": "))) {
            shown.push_back({text, clock.elapsed()});
            if (slowPaints-- > 0) {
                QThread::msleep(300);
            }
        }
        return false;
    }
    std::vector<Shown> shown;

private:
    QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    int slowPaints = 5;
};

TEST_F(InstallRun, ALongExtractionNamesItsEntryAndTheTimeLeftAFewTimesASecond) {
    const QString c = packageOnDiskE(false);
    QDir().mkpath(c + QStringLiteral("/B"));
    std::vector<ZipEntry> parts;
    for (int i = 0; i < 40; ++i) {
        ZipEntry part;
        part.name = QByteArray("lib/part") + QByteArray::number(i) + ".dll";
        part.data = QByteArray(4096, char('a' + i % 26));
        parts.push_back(part);
    }
    writeBytes(drives.root(u'E') + QStringLiteral("/pkg/upgrade-brodelik.zip"),
               packageArchive(parts));
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\nkamcestaII=C:\\B\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));  // painted as the run goes
    DetailLineWatch watch(control<QLabel>(*w, "LbRadekC"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);

    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 2x"));
    ASSERT_GE(watch.shown.size(), 6u);
    const QRegularExpression entry(QStringLiteral(
        "^Instaluji do C:\\\\[AB]: (brodelik\\.exe|data/brodelik\\.sql|brodelik\\.chm|"
        "lib/[a-z0-9.]+|pts/reports/list\\.fr3)(, zbývá asi \\d+ s)?$"));
    int withTime = 0;
    for (std::size_t i = 0; i < watch.shown.size(); ++i) {
        const QString& text = watch.shown[i].text;
        EXPECT_TRUE(entry.match(text).hasMatch()) << text.toStdString();
        withTime += text.contains(QStringLiteral("zbývá asi")) ? 1 : 0;
        if (i > 0) {
            EXPECT_GE(watch.shown[i].ms - watch.shown[i - 1].ms, 200) << text.toStdString();
        }
    }
    EXPECT_TRUE(watch.shown.front().text.startsWith(QStringLiteral("Instaluji do C:\\A: ")));
    EXPECT_FALSE(watch.shown.front().text.contains(QStringLiteral("zbývá")));
    EXPECT_GT(withTime, 0);
    EXPECT_FALSE(control<QLabel>(*w, "LbRadekC")->isVisible());
}

TEST_F(InstallRun, AnErrorThatEndsTheRunIsReportedThenLeavesTheFinalScreen) {
    const QString c = drives.add(u'C');
    QDir().mkpath(c + QStringLiteral("/A"));
    QDir().mkpath(c + QStringLiteral("/B/upgrade.kac"));  // no settings file can go there
    servePackage();
    auto w = start("program=1\r\nodkud=1\r\nkamcestaI=C:\\A\r\nkamcestaII=C:\\B\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].kind, ScriptedDialogs::Kind::ErrorReport);
    EXPECT_TRUE(dialogs->calls[0].text.startsWith(QStringLiteral("Unable to write to C:\\B")))
        << dialogs->calls[0].text.toStdString();
    // The first target, staged already, is as it was; nothing was started.
    EXPECT_TRUE(QDir(c + QStringLiteral("/A")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(shell->requests.empty());
    EXPECT_EQ(control<QLabel>(*w, "LbReason")->text(),
              QStringLiteral("Do složky C:\\B nelze zapisovat."));
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
}

TEST_F(InstallRun, ALinkedSettingsFileInATargetIsReplacedNotFollowed) {
    const QString c = packageOnDiskE(false);
    const QByteArray secret = "[SECRET]\r\ntoken=s3cret\r\n";
    writeBytes(c + QStringLiteral("/secret.kac"), secret);
    ::chmod(QFile::encodeName(c + QStringLiteral("/secret.kac")).constData(), 0600);
    ASSERT_EQ(::symlink(QFile::encodeName(c + QStringLiteral("/secret.kac")).constData(),
                        QFile::encodeName(c + QStringLiteral("/A/upgrade.kac")).constData()),
              0);
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    const QString written = c + QStringLiteral("/A/upgrade.kac");
    EXPECT_FALSE(QFileInfo(written).isSymLink());
    EXPECT_EQ(setting(written, "kamcestaI"), QStringLiteral("C:\\A"));
    EXPECT_FALSE(readBytes(written).contains("s3cret"));  // the link's target was never read
    EXPECT_EQ(readBytes(c + QStringLiteral("/secret.kac")), secret);
    EXPECT_EQ(QFileInfo(c + QStringLiteral("/secret.kac")).permissions(),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser);
}

TEST_F(InstallRun, TheStartedProgramReallyRunsInItsTarget) {
    platform::setShell(nullptr);  // the real shell this time
    const QString c = packageOnDiskE(true);
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    const QString marker = c + QStringLiteral("/A/started.txt");
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(marker) && clock.elapsed() < 10000) {
        QThread::msleep(20);
    }
    QThread::msleep(50);
    EXPECT_EQ(readBytes(marker), QByteArray("installed\n"));
}

class SelfUpdate : public InstallRun {};

TEST_F(SelfUpdate, TheNewCopyLandsBesideTheProgramAndIsOpened) {
    writeBytes(ownFolder() + QStringLiteral("selvanixnext.exe"), "leftover");
    server.route("/selvanixnext.exe", httpReply(200, kProgram));
    auto w = start("program=1\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::LeftButton);
    EXPECT_EQ(readBytes(ownFolder() + QStringLiteral("selvanixnext.exe")), kProgram);
    EXPECT_TRUE(QFileInfo(ownFolder() + QStringLiteral("selvanixnext.exe")).isExecutable());
    EXPECT_EQ(TestHttpServer::header(server.requests().front(), "Range"), "bytes=0-");
    ASSERT_EQ(shell->requests.size(), 1u);
    EXPECT_EQ(shell->requests[0].file, ownFolder() + QStringLiteral("selvanixnext.exe"));
    EXPECT_TRUE(shell->requests[0].dir.isEmpty());
    EXPECT_FALSE(w->isVisible());
}

TEST_F(SelfUpdate, WithTheServerDownTheOldCopyIsGoneAndTheProgramStillEnds) {
    writeBytes(ownFolder() + QStringLiteral("selvanixnext.exe"), "leftover");
    auto w = start("program=1\r\n");
    w->setServer(QStringLiteral("http://127.0.0.1:%1/").arg(freeLoopbackPort()));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::LeftButton);
    EXPECT_FALSE(QFileInfo::exists(ownFolder() + QStringLiteral("selvanixnext.exe")));
    ASSERT_EQ(shell->requests.size(), 1u);
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(dialogs->calls.size(), 1u);  // why nothing new starts
}

TEST_F(SelfUpdate, TheServerAddressComesFromTheSettingsBesideTheProgram) {
    server.route("/mirror/selvanixnext.exe", httpReply(200, kProgram));
    writeBytes(settingsPath(), "[DEFINICE]\r\nprogram=1\r\n[SERVER]\r\nbaseurl=" +
                                   server.url(QStringLiteral("/mirror")).toUtf8() + "\r\n");
    auto w = open();
    EXPECT_EQ(w->server(), server.url(QStringLiteral("/mirror/")));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::LeftButton);
    EXPECT_EQ(TestHttpServer::requestLine(server.requests().front()),
              "GET /mirror/selvanixnext.exe HTTP/1.1");
}

}  // namespace
}  // namespace selvanix::test
