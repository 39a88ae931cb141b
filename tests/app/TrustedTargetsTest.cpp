// What a run installs into and starts when other users share the machine: the program
// started is the file that was checked, and folders another user could change are no targets.
#include "InstallFixture.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QThread>

namespace selvanix::test {
namespace {

bool waitFor(const QString& path) {
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(path) && clock.elapsed() < 10000) {
        QThread::msleep(20);
    }
    QThread::msleep(100);
    return QFileInfo::exists(path);
}

QByteArray descriptorRunning(const QByteArray& run, const QByteArray& marker = "brodelik.exe") {
    return "[DEFINICE]\r\nhledany=" + marker + "\r\nnazev=Brodelik\r\nverze=1\r\nrun=" + run +
           "\r\n";
}

bool plantLink(const QString& target, const QString& link) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

// Asks the real shell, but first lets another user rename their own script over the program,
// as a race between the check and the start would.
class SwappingShell : public platform::Shell {
public:
    explicit SwappingShell(QString folder) : folder_(std::move(folder)) {}
    int open(const platform::ShellRequest& request) noexcept override {
        swapped = runAsOtherUser([&] {
            const QString evil = folder_ + QStringLiteral("/evil.sh");
            writeBytes(evil, "#!/bin/sh\necho PWNED > pwned.txt\n");
            ::chmod(QFile::encodeName(evil).constData(), 0755);
            return QFile::encodeName(evil) == QByteArray() ||
                           ::rename(QFile::encodeName(evil).constData(),
                                    QFile::encodeName(folder_ + QStringLiteral("/brodelik.exe"))
                                        .constData()) != 0
                       ? QByteArray("failed")
                       : QByteArray("swapped");
        });
        return platform::LinuxShell().open(request);
    }
    QByteArray swapped;

private:
    QString folder_;
};

class TrustedTargets : public InstallRun {
protected:
    // The package on E:\pkg and a target C:\A that the other user may write into.
    QString sharedTarget(const QByteArray& descriptorText) {
        const QString c = packageOnDiskE(true);
        writeBytes(drives.root(u'E') + QStringLiteral("/pkg/brodelik.ini"), descriptorText);
        ::chmod(QFile::encodeName(c + QStringLiteral("/A")).constData(), 0777);
        return c + QStringLiteral("/A");
    }
    std::unique_ptr<TFrDRozbal> run(const QByteArray& definice) {
        auto w = start(definice);
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        return w;
    }
};

TEST_F(TrustedTargets, AProgramSwappedAfterTheCheckIsNeverStarted) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const QString a = sharedTarget(descriptorRunning("brodelik.exe"));
    auto swapping = std::make_shared<SwappingShell>(a);
    platform::setShell(swapping);
    auto w = run("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    EXPECT_EQ(swapping->swapped, QByteArray("swapped"));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    // The checked program ran, from its target, though the name now holds the other script.
    EXPECT_TRUE(waitFor(a + QStringLiteral("/started.txt")));
    EXPECT_EQ(readBytes(a + QStringLiteral("/started.txt")), QByteArray("installed\n"));
    EXPECT_FALSE(QFileInfo::exists(a + QStringLiteral("/pwned.txt")));
    EXPECT_TRUE(readBytes(a + QStringLiteral("/brodelik.exe")).contains("PWNED"));
}

struct Refused {
    const char* run;
    const char* why;
    std::function<bool(const QString& folder)> plant;  // as the other user
};

class RefusedPrograms : public TrustedTargets, public ::testing::WithParamInterface<Refused> {};

TEST_P(RefusedPrograms, AreNotStartedAndTheRunSaysWhy) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const Refused& c = GetParam();
    const QString a = sharedTarget(descriptorRunning(c.run));
    ASSERT_EQ(runAsOtherUser([&] { return c.plant(a) ? QByteArray("ok") : "failed"; }),
              QByteArray("ok"));
    auto w = run("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    EXPECT_TRUE(shell->requests.empty());
    EXPECT_TRUE(control<QLabel>(*w, "LbReason")->isVisibleTo(w.get()));
    EXPECT_EQ(control<QLabel>(*w, "LbReason")->text().toStdString(),
              (QStringLiteral("Program %1 nebyl spuštěn: ve složce C:\\A ")
                   .arg(QString::fromUtf8(c.run)) +
               QString::fromUtf8(c.why))
                  .toStdString());
    EXPECT_FALSE(QFileInfo::exists(a + QStringLiteral("/pwned.txt")));
}

const auto nothing = [](const QString&) { return true; };

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedPrograms,
    ::testing::Values(Refused{"theirs.exe", "ho může změnit jiný uživatel.",
                              [](const QString& folder) {
                                  const QString file = folder + QStringLiteral("/theirs.exe");
                                  writeBytes(file, "#!/bin/sh\ntouch pwned.txt\n");
                                  return ::chmod(QFile::encodeName(file).constData(), 0755) == 0;
                              }},
                      Refused{"link.exe", "je jen odkazem.",
                              [](const QString& folder) {
                                  return plantLink(QStringLiteral("/bin/true"),
                                                   folder + QStringLiteral("/link.exe"));
                              }},
                      Refused{"bin\\true", "je jen odkazem.",
                              [](const QString& folder) {
                                  return plantLink(QStringLiteral("/usr/bin"),
                                                   folder + QStringLiteral("/bin"));
                              }},
                      Refused{"brodelik.chm", "nemá právo spuštění.", nothing},
                      Refused{"data", "není souborem.", nothing},
                      Refused{"gone.exe", "není.", nothing}));

TEST_F(TrustedTargets, AWorldWritableProgramOfRootIsNotStartedEither) {
    const QString a = sharedTarget(descriptorRunning("brodelik.exe"));
    ZipWriter zip;
    ZipEntry program;
    program.name = "brodelik.exe";
    program.data = kProgram;
    program.versionMadeBy = 0x031E;
    program.externalAttr = 0100777u << 16;
    zip.entries.push_back(program);
    writeBytes(drives.root(u'E') + QStringLiteral("/pkg/upgrade-brodelik.zip"), zip.build());
    const mode_t old = ::umask(0);
    auto w = run("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    ::umask(old);
    EXPECT_EQ(
        QFileInfo(a + QStringLiteral("/brodelik.exe")).permissions() & QFileDevice::WriteOther,
        QFileDevice::WriteOther);
    EXPECT_TRUE(shell->requests.empty());
    EXPECT_TRUE(control<QLabel>(*w, "LbReason")
                    ->text()
                    .endsWith(QStringLiteral("ho může změnit jiný uživatel.")));
}

TEST_F(TrustedTargets, ACheckedProgramIsStartedFromItsOpenFile) {
    sharedTarget(descriptorRunning("brodelik.exe"));
    auto w = run("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    ASSERT_EQ(shell->requests.size(), 1u);
    EXPECT_EQ(shell->requests[0].file, QStringLiteral("brodelik.exe"));
    EXPECT_EQ(shell->requests[0].dir, QStringLiteral("C:\\A\\"));
    EXPECT_GE(shell->requests[0].program, 0);
    EXPECT_GE(shell->requests[0].workingFolder, 0);
    EXPECT_FALSE(control<QLabel>(*w, "LbReason")->isVisible());
}

TEST_F(TrustedTargets, SearchSkipsFoldersOfOtherUsersAndSaysHowMany) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to own folders as another user";
    }
    const QString c = packageOnDiskE(true);
    writeBytes(c + QStringLiteral("/Own/brodelik.exe"), "old");
    writeBytes(c + QStringLiteral("/Theirs/brodelik.exe"), "old");
    writeBytes(c + QStringLiteral("/Open/Deep/brodelik.exe"), "old");
    ASSERT_EQ(
        ::chown(QFile::encodeName(c + QStringLiteral("/Theirs")).constData(), kNobody, kNobody), 0);
    ::chmod(QFile::encodeName(c + QStringLiteral("/Open")).constData(), 0777);
    auto w = run("program=1\r\nodkud=2\r\ncilinstalace=1\r\n");
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    expectInstalled(c + QStringLiteral("/Own"));
    EXPECT_EQ(readBytes(c + QStringLiteral("/Theirs/brodelik.exe")), QByteArray("old"));
    EXPECT_FALSE(QFileInfo::exists(c + QStringLiteral("/Theirs/upgrade.kac")));
    EXPECT_FALSE(QFileInfo::exists(c + QStringLiteral("/Open/Deep/upgrade.kac")));
    EXPECT_TRUE(control<QLabel>(*w, "LbCizi")->isVisible());
    EXPECT_EQ(control<QLabel>(*w, "LbCizi")->text(),
              QStringLiteral("Přeskočeno složek jiných uživatelů: 2"));
}

class BadMarkers : public TrustedTargets, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadMarkers, EndTheRunBeforeAnyTarget) {
    const QByteArray marker = GetParam();
    const QString c = packageOnDiskE(true);
    writeBytes(drives.root(u'E') + QStringLiteral("/pkg/brodelik.ini"),
               descriptorRunning("brodelik.exe", marker));
    writeBytes(c + QStringLiteral("/Deep/Deeper/brodelik.exe"), "old");
    auto w = run("program=1\r\nodkud=2\r\ncilinstalace=1\r\n");
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(), QStringLiteral("Chyba Instalace"));
    EXPECT_EQ(control<QLabel>(*w, "LbReason")->text(),
              marker.isEmpty()
                  ? QStringLiteral("Soubor brodelik.ini neudává, jaký program hledat.")
                  : QStringLiteral("Soubor brodelik.ini hledá program pod nepřípustným jménem ") +
                        QString::fromUtf8(marker) + u'.');
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisibleTo(w.get()));
    EXPECT_TRUE(shell->requests.empty());
    for (const QString& folder : {c, c + QStringLiteral("/A"), c + QStringLiteral("/Deep"),
                                  c + QStringLiteral("/Deep/Deeper")}) {
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/upgrade.kac")))
            << folder.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadMarkers,
                         ::testing::Values("..", "", "..\\brodelik.exe", "Deep\\..\\brodelik.exe",
                                           "/etc/passwd", "C:\\brodelik.exe"));

}  // namespace
}  // namespace selvanix::test
