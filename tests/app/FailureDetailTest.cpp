// A run or an update that comes to nothing says why: on the run screen below the outcome, and
// in the update's report, which the user sees before the window goes.
#include "InstallFixture.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include "dlwindow/DownloadWindow.h"
#include "support/TestNginx.h"

namespace selvanix::test {
namespace {

class Reasons : public InstallRun {
protected:
    void expectNoPackageBecause(const TFrDRozbal& w, const QString& reason) {
        EXPECT_EQ(control<ui::Label3D>(w, "LbRadekA")->text(), QStringLiteral("Nebyl nalezen"));
        EXPECT_EQ(control<ui::Label3D>(w, "LbRadekB")->text(),
                  QStringLiteral("instalační balíček"));
        EXPECT_TRUE(control<QPushButton>(w, "BtnKonec")->isVisible());
        EXPECT_EQ(w.focusWidget(), control<QPushButton>(w, "BtnKonec"));
        EXPECT_TRUE(control<QLabel>(w, "LbReason")->isVisible());
        EXPECT_EQ(control<QLabel>(w, "LbReason")->text(), reason);
        EXPECT_EQ(finalLines(w), QStringList{QStringLiteral("LbReason")});
    }
    QString serverDown() {
        port = freeLoopbackPort();
        return QStringLiteral("http://127.0.0.1:%1/").arg(port);
    }
    int port = 0;
};

TEST_F(Reasons, TheServerThatDidNotAnswer) {
    auto w = start("program=1\r\nodkud=1\r\n");
    w->setServer(serverDown());
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    expectNoPackageBecause(*w, QStringLiteral("Server 127.0.0.1:%1 neodpovídá.").arg(port));
}

// A reason is read whole: it wraps below the headline, long folder names included, and a
// reason longer than the room scrolls; the window keeps its size and Konec its place.
TEST_F(Reasons, ALongReasonWrapsWholeAndScrollsWithinTheWindow) {
    for (const int depth : {1, 40}) {
        const QString deep =
            folder.path() + QStringLiteral("/slozka-s-<b>dlouhym</b>-nazvem").repeated(depth);
        auto w = start("program=1\r\nodkud=2\r\nodkudcesta=" + deep.toUtf8() + "\r\n");
        QApplication::processEvents();
        const QSize size = w->frameGeometry().size();
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        QApplication::processEvents();
        const QLabel* reason = control<QLabel>(*w, "LbReason");
        const auto* area = control<QScrollArea>(*w, "ScReason");
        ASSERT_TRUE(reason->isVisible());
        EXPECT_TRUE(reason->text().contains(deep)) << reason->text().toStdString();
        EXPECT_TRUE(reason->wordWrap());
        // The folder's "<b>" is part of its name: shown as written, not taken for markup.
        EXPECT_EQ(reason->textFormat(), Qt::PlainText);
        EXPECT_EQ(reason->font().pixelSize(), 16) << "never shrunk";
        EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
        EXPECT_LE(reason->width(), area->viewport()->width());
        // All of it is there to be scrolled to: the label is as tall as its wrapped text.
        EXPECT_GE(reason->height(), reason->heightForWidth(reason->width()));
        if (depth == 1) {
            EXPECT_EQ(area->verticalScrollBar()->maximum(), 0) << "a short reason fits";
            EXPECT_GT(area->height(), reason->fontMetrics().lineSpacing()) << "more than a line";
        } else {
            EXPECT_GT(area->verticalScrollBar()->maximum(), 0) << "a long one scrolls";
        }
        EXPECT_EQ(w->frameGeometry().size(), size);
        EXPECT_EQ(finalLines(*w), QStringList{QStringLiteral("LbReason")});
    }
}

TEST_F(Reasons, TheRefusedFileAndItsStatus) {
    servePackage(false);
    auto w = start("program=1\r\nodkud=1\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    expectNoPackageBecause(*w, QStringLiteral("Server 127.0.0.1:%1 odmítl soubor "
                                              "upgrade-brodelik.zip (HTTP 404).")
                                   .arg(server.port()));
}

TEST_F(Reasons, ACancelledDownload) {
    TestReply slow = httpReply(200, QByteArray(100000, 'i'));
    slow.stallAfter = 1000;
    server.route("/brodelik.ini", slow);
    server.route("/upgrade-brodelik.zip", httpReply(200, packageArchive()));
    auto w = start("program=1\r\nodkud=1\r\n");
    w->downloads().OnCustomizeForm = [](net::WebHTTPGet&, dlwindow::DownloadWindow& shown) {
        QTimer::singleShot(300, &shown, [&shown] { shown.StopBtn->click(); });
    };
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    expectNoPackageBecause(*w, QStringLiteral("Stahování bylo zrušeno."));
}

TEST_F(Reasons, AFolderWithoutThePackageOrNoFolderAtAll) {
    packageOnDiskE(true);
    {
        auto w = start("program=4\r\nodkud=2\r\n");
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        expectNoPackageBecause(*w, QStringLiteral("Ve složce E:\\pkg není soubor tulvek.ini."));
    }
    {
        auto w = start("program=1\r\nodkud=2\r\n");
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")
            ->setText(folder.path() + QStringLiteral("\\sub\\"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        expectNoPackageBecause(
            *w, QStringLiteral("Ve složce %1/sub/ není soubor brodelik.ini.").arg(folder.path()));
    }
    {
        auto w = start("program=1\r\nodkud=2\r\n");
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        expectNoPackageBecause(*w, QStringLiteral("Složka instalačního balíčku není zadána."));
    }
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(Reasons, ARedirectToAFileOnThisMachineIsNamedAsSuch) {
    server.route("/brodelik.ini", httpReply(302, "", {"Location: file:///etc/passwd"}));
    server.route("/upgrade-brodelik.zip", httpReply(200, packageArchive()));
    auto w = start("program=1\r\nodkud=1\r\n");
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    expectNoPackageBecause(*w, QStringLiteral("Server 127.0.0.1:%1 přesměroval stahování na "
                                              "nedovolenou adresu.")
                                   .arg(server.port()));
}

// A descriptor is a small profile file: a larger one is not fetched past the bound, and one
// on disk is not read.
TEST_F(Reasons, AnOversizedDescriptorIsNeitherFetchedNorRead) {
    const QByteArray huge = "[DEFINICE]\r\nnazev=x\r\n" + QByteArray(2 << 20, ';');
    server.route("/brodelik.ini", httpReply(200, huge));
    server.route("/upgrade-brodelik.zip", httpReply(200, packageArchive()));
    {
        auto w = start("program=1\r\nodkud=1\r\n");
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        expectNoPackageBecause(*w, QStringLiteral("Server 127.0.0.1:%1 poslal soubor "
                                                  "brodelik.ini větší, než je dovoleno.")
                                       .arg(server.port()));
        EXPECT_FALSE(QFileInfo::exists(ownFolder() + QStringLiteral("brodelik.ini")));
    }
    packageOnDiskE(true);
    writeBytes(drives.root(u'E') + QStringLiteral("/pkg/brodelik.ini"), huge);
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    expectNoPackageBecause(
        *w, QStringLiteral("Soubor brodelik.ini ve složce E:\\pkg je větší než 1 MiB."));
    EXPECT_FALSE(QFileInfo::exists(drives.root(u'C') + QStringLiteral("/A/upgrade.kac")));
}

TEST_F(Reasons, NowhereToInstall) {
    packageOnDiskE(true);
    {
        auto w = start("program=1\r\nodkud=2\r\ncilinstalace=0\r\n");
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        targetField(*w, 0)->clear();
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(), QStringLiteral("Chyba Instalace"));
        EXPECT_EQ(control<QLabel>(*w, "LbReason")->text(),
                  QStringLiteral("Není vyplněn žádný cílový adresář."));
        EXPECT_TRUE(control<QLabel>(*w, "LbReason")->isVisible());
    }
    {
        auto w = start("program=1\r\nodkud=2\r\ncilinstalace=1\r\n");
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(), QStringLiteral("Chyba Instalace"));
        EXPECT_EQ(control<QLabel>(*w, "LbReason")->text(),
                  QStringLiteral("Na pevných discích není složka se souborem brodelik.exe."));
    }
}

// A host folder that is not there: the report and the screen name it with '/' only.
TEST_F(Reasons, ATargetThatCannotBeWrittenIsNamedAsTheUserWroteIt) {
    packageOnDiskE(true);
    const QString missing = folder.path() + QStringLiteral("/gone");
    auto w = start("program=1\r\nodkud=2\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    targetField(*w, 0)->setText(missing);
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    EXPECT_TRUE(dialogs->calls.empty());
    EXPECT_EQ(control<QLabel>(*w, "LbReason")->text(),
              QStringLiteral("Složka %1 neexistuje.").arg(missing));
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isVisible());
}

TEST_F(Reasons, TheUpdateReportComesBeforeTheWindowGoes) {
    auto w = start("program=1\r\n");
    w->setServer(serverDown());
    bool shownWhileOpen = false;
    dialogs->onCall = [&](const ScriptedDialogs::Call&) { shownWhileOpen = w->isVisible(); };
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::LeftButton);
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].kind, ScriptedDialogs::Kind::ErrorReport);
    EXPECT_EQ(dialogs->calls[0].text,
              QStringLiteral("Novou verzi programu Selvanix se nepodařilo stáhnout. "
                             "Server 127.0.0.1:%1 neodpovídá.")
                  .arg(port));
    EXPECT_TRUE(shownWhileOpen);
    // Then as before: the window goes and the shell is asked to open the path.
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(shell->requests.size(), 1u);
}

}  // namespace
}  // namespace selvanix::test
