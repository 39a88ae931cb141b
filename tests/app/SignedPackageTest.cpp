// A Selvanix with a publisher key: signed packages and updates pass, anything else is refused
// before it is shown, extracted or started.
#include "InstallFixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDate>
#include <QElapsedTimer>
#include <QTimer>

#include "config/KeyStatement.h"
#include "dlwindow/DownloadWindow.h"
#include "engine/Version.h"

#include "support/OtherUser.h"
#include "support/SignedPackage.h"
#include "support/ZipWriter.h"

#include <QCryptographicHash>
#include <QLabel>
#include <functional>

namespace selvanix::test {
namespace {

class SignedInstall : public InstallRun {
protected:
    std::unique_ptr<TFrDRozbal> startWithKey(const QByteArray& definice) {
        auto w = start(definice);
        w->setPublisherKey(QString::fromLatin1(key->publicKey().base64()));
        return w;
    }
    // Installs the package on E:\pkg into C:\A; true when it reached the end screen.
    std::unique_ptr<TFrDRozbal> installFromDisk(const QByteArray& ini, const QByteArray& zip) {
        const QString c = drives.add(u'C');
        const QString e = drives.add(u'E');
        QDir(c + QStringLiteral("/A")).removeRecursively();
        QDir().mkpath(c + QStringLiteral("/A"));
        writeBytes(e + QStringLiteral("/pkg/brodelik.ini"), ini);
        writeBytes(e + QStringLiteral("/pkg/upgrade-brodelik.zip"), zip);
        auto w = startWithKey("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        return w;
    }
    QString target() const { return drives.root(u'C') + QStringLiteral("/A"); }

    std::optional<signing::PrivateKey> key = signing::PrivateKey::generate();
    std::optional<signing::PrivateKey> otherKey = signing::PrivateKey::generate();
    QByteArray zip = packageArchive();
};

TEST_F(SignedInstall, ASignedPackageInstallsThroughBothSources) {
    auto w = installFromDisk(signedDescriptor(*key, zip, {}, {}), zip);
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    expectInstalled(target());

    QDir(target()).removeRecursively();
    QDir().mkpath(target());
    shell->requests.clear();
    server.route("/brodelik.ini", httpReply(200, signedDescriptor(*key, zip, {}, {})));
    server.route("/upgrade-brodelik.zip", httpReply(200, zip));
    auto web = startWithKey("program=1\r\nodkud=1\r\nkamcestaI=C:\\A\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*web, "BtnOK"), Qt::LeftButton);
    EXPECT_EQ(control<ui::Label3D>(*web, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    expectInstalled(target());
    EXPECT_EQ(shell->requests.size(), 1u);
}

// Texts the detail line is painted with, while the run goes on.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QLabel* line) { line->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            texts << static_cast<QLabel*>(watched)->text();
        }
        return false;
    }
    QStringList texts;
};

// A key the publisher's statement adds is said on the run screen, not only in the log.
TEST_F(SignedInstall, AKeyLearnedFromTheStatementsIsSaidOnTheRunScreen) {
    const QByteArray added = otherKey->publicKey().base64();
    const QByteArray by = key->publicKey().base64();
    writeBytes(drives.add(u'E') + QStringLiteral("/pkg/selvanix-keys.txt"),
               keyStatementText(KeyChangeKind::Add, added, by,
                                key->sign(keySigningText(KeyChangeKind::Add, added, by))));
    const QString c = drives.add(u'C');
    QDir().mkpath(c + QStringLiteral("/A"));
    writeBytes(drives.root(u'E') + QStringLiteral("/pkg/brodelik.ini"),
               signedDescriptor(*otherKey, zip, {}, {}));
    writeBytes(drives.root(u'E') + QStringLiteral("/pkg/upgrade-brodelik.zip"), zip);
    auto w = startWithKey("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));  // painted as the run goes
    PaintedTexts painted(control<QLabel>(*w, "LbRadekC"));
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    EXPECT_TRUE(painted.texts.contains(QStringLiteral("Selvanix nově důvěřuje klíči vydavatele ") +
                                       QString::fromLatin1(added) + u'.'))
        << painted.texts.join(u'|').toStdString();
}

TEST_F(SignedInstall, EveryAlterationIsRefusedBeforeAnythingIsTouched) {
    QByteArray flipped = zip;
    flipped[60] = static_cast<char>(flipped[60] ^ 1);
    Values otherVersion;
    otherVersion.verze = QStringLiteral("14,21");
    Values otherRun;
    otherRun.run = QStringLiteral("evil.exe");
    Values quobrs;  // Quobr's own signed package, renamed to Brodělík's files
    quobrs.stem = QStringLiteral("quobr");
    Values expired;
    expired.platnost = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
    Values undated;
    undated.platnost = QStringLiteral("soon");
    const QByteArray good = key->sign("x").toBase64();
    // The first form signed the values and the hash, naming no product.
    QByteArray oldText = "selvanix-package 1\nbrodelik.exe\n" +
                         QStringLiteral("Brodělík").toUtf8() +
                         "\n14,20\n12.5.2023\nbrodelik.exe\n" +
                         QCryptographicHash::hash(zip, QCryptographicHash::Sha256).toHex() + '\n';
    const QByteArray oldForm = key->sign(oldText).toBase64();
    struct Case {
        const char* what;
        QByteArray ini;
        QByteArray archive;
        const char* lineA;
    };
    const std::vector<Case> cases = {
        {"flipped archive byte", signedDescriptor(*key, zip, {}, {}), flipped,
         "Podpis balíčku nesouhlasí"},
        {"changed verze", signedDescriptor(*key, zip, {}, otherVersion), zip,
         "Podpis balíčku nesouhlasí"},
        {"changed run", signedDescriptor(*key, zip, {}, otherRun), zip,
         "Podpis balíčku nesouhlasí"},
        {"another key", signedDescriptor(*otherKey, zip, {}, {}), zip, "Podpis balíčku nesouhlasí"},
        {"no podpis", signedDescriptor(*key, zip, {}, {}, ""), zip, "Balíček není podepsán"},
        {"truncated signature", signedDescriptor(*key, zip, {}, {}, good.left(50)), zip,
         "Podpis balíčku nesouhlasí"},
        {"another product's package", signedDescriptor(*key, zip, quobrs, {}), zip,
         "Podpis balíčku nesouhlasí"},
        {"the old form", signedDescriptor(*key, zip, {}, {}, oldForm), zip,
         "Podpis balíčku nesouhlasí"},
        {"past its validity", signedDescriptor(*key, zip, expired, expired), zip,
         "Platnost balíčku skončila"},
        {"validity no date", signedDescriptor(*key, zip, undated, undated), zip,
         "Platnost balíčku skončila"},
        {"validity added after signing", signedDescriptor(*key, zip, {}, expired), zip,
         "Podpis balíčku nesouhlasí"},
    };
    for (const Case& c : cases) {
        shell->requests.clear();
        auto w = installFromDisk(c.ini, c.archive);
        EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(), QString::fromUtf8(c.lineA))
            << c.what;
        EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(),
                  QStringLiteral("instalace byla zastavena"))
            << c.what;
        EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible()) << c.what;
        EXPECT_FALSE(control<QLabel>(*w, "LbVerze")->isVisible()) << c.what;
        EXPECT_TRUE(QDir(target()).isEmpty()) << c.what;  // no settings, no file
        EXPECT_TRUE(shell->requests.empty()) << c.what;
        EXPECT_TRUE(dialogs->calls.empty()) << c.what;
    }
    // The reasons say which refusal it was.
    EXPECT_TRUE(control<QLabel>(*installFromDisk(signedDescriptor(*key, zip, {}, {}, oldForm), zip),
                                "LbReason")
                    ->text()
                    .contains(QStringLiteral("starým způsobem")));
    EXPECT_EQ(control<QLabel>(*installFromDisk(signedDescriptor(*key, zip, expired, expired), zip),
                              "LbReason")
                  ->text(),
              QStringLiteral("Balíček bylo možné instalovat jen do %1.").arg(expired.platnost));
}

TEST_F(SignedInstall, AnyConfiguredKeyVerifiesAndAValidityStillAheadPasses) {
    Values valid;
    valid.platnost = QDate::currentDate().toString(Qt::ISODate);  // its last day
    const QByteArray ini = signedDescriptor(*otherKey, zip, valid, valid);
    const QString c = drives.add(u'C');
    const QString e = drives.add(u'E');
    QDir().mkpath(c + QStringLiteral("/A"));
    writeBytes(e + QStringLiteral("/pkg/brodelik.ini"), ini);
    writeBytes(e + QStringLiteral("/pkg/upgrade-brodelik.zip"), zip);
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    w->setPublisherKey(
        QString::fromLatin1(key->publicKey().base64() + ", " + otherKey->publicKey().base64()));
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"))
        << control<QLabel>(*w, "LbReason")->text().toStdString();
    expectInstalled(target());
}

// Another user who can write the package folder swaps the archive by name in a loop while the
// installation runs into two targets: whatever the timing, only the signed bytes go in.
TEST_F(SignedInstall, AnArchiveSwappedDuringTheRunIsNeverInstalled) {
    ZipEntry evil;
    evil.name = "brodelik.exe";
    evil.data = "#!/bin/sh\nid > PWNED\n";
    ZipWriter bad;
    bad.entries.push_back(evil);
    const QByteArray evilZip = bad.build();
    const QString c = drives.add(u'C');
    const QString e = drives.add(u'E');
    const QString pkg = e + QStringLiteral("/pkg");
    QDir().mkpath(c + QStringLiteral("/A"));
    QDir().mkpath(c + QStringLiteral("/B"));
    writeBytes(pkg + QStringLiteral("/brodelik.ini"), signedDescriptor(*key, zip, {}, {}));
    writeBytes(pkg + QStringLiteral("/upgrade-brodelik.zip"), zip);
    writeBytes(pkg + QStringLiteral("/good.zip"), zip);
    writeBytes(pkg + QStringLiteral("/evil.zip"), evilZip);
    for (const QString& path :
         QStringList{pkg, pkg + "/upgrade-brodelik.zip", pkg + "/good.zip", pkg + "/evil.zip"}) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), kNobody, kNobody), 0);
    }
    // The swapper: the other user, until the run is over.
    const pid_t swapper = ::fork();
    ASSERT_GE(swapper, 0);
    if (swapper == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(1);
        }
        const QByteArray dir = QFile::encodeName(pkg);
        for (int i = 0; i < 200000; ++i) {
            const QByteArray from = dir + (i % 2 ? "/good.zip" : "/evil.zip");
            const QByteArray temp = dir + "/swap.zip";
            if (::link(from.constData(), temp.constData()) == 0) {
                ::rename(temp.constData(), (dir + "/upgrade-brodelik.zip").constData());
            }
        }
        ::_exit(0);
    }
    int attempts = 0;
    int installed = 0;
    for (; attempts < 20; ++attempts) {
        shell->requests.clear();
        for (const char* t : {"/A", "/B"}) {
            QDir(c + QLatin1String(t)).removeRecursively();
            QDir().mkpath(c + QLatin1String(t));
        }
        auto w = startWithKey("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\nkamcestaII=C:\\B\r\n");
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        const bool done =
            control<ui::Label3D>(*w, "LbRadekB")->text() == QStringLiteral("Instaloval jsem 2x");
        for (const char* t : {"/A", "/B"}) {
            const QString program = c + QLatin1String(t) + QStringLiteral("/brodelik.exe");
            if (done) {
                EXPECT_EQ(readBytes(program), kProgram) << t << " got what nobody signed";
            } else {
                EXPECT_FALSE(QFileInfo::exists(program)) << t;
            }
            EXPECT_FALSE(QFileInfo::exists(c + QLatin1String(t) + QStringLiteral("/PWNED")));
        }
        installed += done ? 1 : 0;
    }
    ::kill(swapper, SIGKILL);
    ::waitpid(swapper, nullptr, 0);
    EXPECT_GT(installed, 0) << "the swap never lost a race: the test proved nothing";
}

TEST_F(SignedInstall, TheSignatureCoversValuesNotBytes) {
    const QByteArray utf8 = signedDescriptor(*key, zip, {}, {});
    auto w = installFromDisk(utf16Bytes(QString::fromUtf8(utf8.mid(3)), true), zip);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    expectInstalled(target());
}

TEST_F(SignedInstall, WithoutAKeyUnsignedPackagesInstallAsBefore) {
    key.reset();
    const QString c = packageOnDiskE(true);
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    EXPECT_TRUE(w->publisherKey().isEmpty());
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    expectInstalled(c + QStringLiteral("/A"));
}

TEST_F(SignedInstall, TheKeyComesFromTheSettingsBesideTheProgram) {
    writeBytes(settingsPath(), "[DEFINICE]\r\nprogram=1\r\n[SERVER]\r\npublickey=" +
                                   key->publicKey().base64() + "\r\n");
    auto w = open();
    EXPECT_EQ(w->publisherKey(), QString::fromLatin1(key->publicKey().base64()));
}

// The new installer must carry the publisher's signature before it may run.
class SignedUpdate : public SignedInstall {
protected:
    std::unique_ptr<TFrDRozbal> upgrade(const std::optional<QByteArray>& signature) {
        server.route("/selvanixnext.exe", httpReply(200, kProgram));
        if (signature) {
            server.route("/selvanixnext.exe.sig", httpReply(200, *signature));
        }
        auto w = startWithKey("program=1\r\n");
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::LeftButton);
        return w;
    }
    QString next() const { return ownFolder() + QStringLiteral("selvanixnext.exe"); }
};

TEST_F(SignedUpdate, AGoodSignatureLetsTheNewCopyStart) {
    auto w = upgrade(updateStatement(*key, kProgram, "99.0"));
    EXPECT_TRUE(dialogs->calls.empty()) << reported();
    EXPECT_TRUE(QFileInfo(next()).isExecutable());
    EXPECT_FALSE(QFileInfo::exists(next() + QStringLiteral(".sig")));
    ASSERT_EQ(shell->requests.size(), 1u);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(SignedUpdate, ABadOrMissingSignatureKeepsThisSelvanixRunning) {
    for (const auto& signature :
         {std::optional<QByteArray>(updateStatement(*otherKey, kProgram, "99.0")),
          std::optional<QByteArray>()}) {
        dialogs->calls.clear();
        auto w = upgrade(signature);
        EXPECT_FALSE(QFileInfo::exists(next()));
        EXPECT_FALSE(QFileInfo::exists(next() + QStringLiteral(".sig")));
        EXPECT_TRUE(shell->requests.empty());
        EXPECT_TRUE(w->isVisible());
        ASSERT_EQ(dialogs->calls.size(), 1u);
        EXPECT_EQ(dialogs->calls[0].kind, ScriptedDialogs::Kind::ErrorReport);
        EXPECT_TRUE(dialogs->calls[0].text.contains(QStringLiteral("nepodařilo ověřit")));
    }
}

// Replays: an older Selvanix, or any file once signed the old way, never starts.
TEST_F(SignedUpdate, AnUpdateThatIsNotNewerOrSignedTheOldWayIsNotStarted) {
    const std::pair<QByteArray, QString> cases[] = {
        {updateStatement(*key, kProgram, selvanixVersion()),
         QStringLiteral("Nová verze programu Selvanix (%1) není novější než tato (%1), proto "
                        "nebyla spuštěna.")
             .arg(selvanixVersion())},
        {key->sign(kProgram).toBase64() + "\n",
         QStringLiteral("Nová verze programu Selvanix je podepsána starým způsobem, proto nebyla "
                        "spuštěna.")},
    };
    for (const auto& [statement, text] : cases) {
        dialogs->calls.clear();
        auto w = upgrade(statement);
        EXPECT_TRUE(shell->requests.empty());
        EXPECT_FALSE(QFileInfo::exists(next()));
        EXPECT_TRUE(w->isVisible());
        ASSERT_EQ(dialogs->calls.size(), 1u);
        EXPECT_EQ(dialogs->calls[0].text, text);
    }
}

// The signature comes through the download window like the file: Cancel there ends a server's
// trickle at once, and a signature file of more than a few KiB is no signature.
TEST_F(SignedUpdate, TheSignatureDownloadCanBeCancelledAndIsBounded) {
    server.route("/selvanixnext.exe", httpReply(200, kProgram));
    TestReply trickle = httpReply(200, updateStatement(*key, kProgram, "99.0"));
    trickle.pieceSize = 1;
    trickle.pieceDelayMs = 3000;
    server.route("/selvanixnext.exe.sig", trickle);
    auto w = startWithKey("program=1\r\n");
    int windows = 0;
    w->downloads().OnCustomizeForm = [&](net::WebHTTPGet&, dlwindow::DownloadWindow& shown) {
        if (++windows == 2) {
            QTimer::singleShot(300, &shown, [&shown] { shown.StopBtn->click(); });
        }
    };
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::LeftButton);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(windows, 2);
    EXPECT_TRUE(shell->requests.empty());
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(QFileInfo::exists(next()));

    dialogs->calls.clear();
    w->downloads().OnCustomizeForm = nullptr;
    server.route("/selvanixnext.exe.sig",
                 httpReply(200, updateStatement(*key, kProgram, "99.0") + QByteArray(8192, ' ')));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::LeftButton);
    EXPECT_TRUE(shell->requests.empty());
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_TRUE(dialogs->calls[0].text.contains(QStringLiteral("nepodařilo ověřit")));
}

// Nothing arrived, so nothing can be verified or started: the report says why and this
// Selvanix stays.
TEST_F(SignedUpdate, AFailedDownloadIsReportedWithItsReason) {
    server.route("/selvanixnext.exe", httpReply(503, "busy"));
    auto w = startWithKey("program=1\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::LeftButton);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(shell->requests.empty());
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].text,
              QStringLiteral("Novou verzi programu Selvanix se nepodařilo stáhnout. Server "
                             "127.0.0.1:%1 odmítl soubor selvanixnext.exe (HTTP 503).")
                  .arg(server.port()));
}

}  // namespace
}  // namespace selvanix::test
