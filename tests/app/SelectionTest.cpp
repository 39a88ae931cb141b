#include "WindowFixture.h"

#include <QRadioButton>
#include <QSignalSpy>

namespace selvanix::test {
namespace {

using Selection = WindowFixture;

TEST_F(Selection, ClickingAProductChoosesItsFilesAndDisablesInstall) {
    const auto w = open();
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgPrg")->button(2), Qt::LeftButton);
    EXPECT_EQ(w->runState().cisloProgramu, 4);
    EXPECT_EQ(w->runState().naz, QStringLiteral("tulvek"));
    EXPECT_EQ(w->descriptorName(), QStringLiteral("tulvek.ini"));
    EXPECT_EQ(w->archiveName(), QStringLiteral("upgrade-tulvek.zip"));
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->listIndex(), 2);
    EXPECT_FALSE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgPrg")->button(6), Qt::LeftButton);
    EXPECT_EQ(w->runState().cisloProgramu, 8);
    EXPECT_EQ(w->archiveName(), QStringLiteral("upgrade-quobr.zip"));
}

TEST_F(Selection, DisabledInstallSaysWhyAndWhatToDo) {
    const auto w = open();
    EXPECT_TRUE(control<ui::BitBtn>(*w, "BtnOK")->toolTip().isEmpty());
    EXPECT_TRUE(control<QLabel>(*w, "LbNovyVyber")->isHidden());
    const int rowsBottom = targetField(*w, 9)->geometry().bottom();
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgZdroj")->button(1), Qt::LeftButton);
    EXPECT_FALSE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
    EXPECT_TRUE(control<ui::BitBtn>(*w, "BtnOK")->toolTip().contains(QStringLiteral("Storno")));
    EXPECT_TRUE(control<QLabel>(*w, "LbNovyVyber")->isVisible());
    EXPECT_EQ(control<QLabel>(*w, "LbNovyVyber")->text(),
              QStringLiteral("Nový výběr uložte tlačítkem Storno a spusťte instalaci znovu."));
    EXPECT_TRUE(
        control<QWidget>(*w, "PanUvodDolni")
            ->geometry()
            .contains(control<QLabel>(*w, "LbNovyVyber")
                          ->geometry()
                          .translated(control<QWidget>(*w, "PanUvodDolni")->geometry().topLeft())));
    // The line takes room from the rows, which stay whole, and the buttons keep their row.
    expectRowsWhole(*w);
    EXPECT_LE(targetField(*w, 9)->geometry().bottom(), rowsBottom + 20);
    EXPECT_EQ(control<ui::BitBtn>(*w, "BtnOK")->height(), 25);
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgPrg")->button(1),
                      Qt::LeftButton);  // a second change: one line still
    EXPECT_EQ(control<QWidget>(*w, "PanUvodDolni")->findChildren<QLabel*>().count(), 2);
}

TEST_F(Selection, ClickingTheSelectedItemChangesNothing) {
    const auto w = open();
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgPrg")->button(0), Qt::LeftButton);
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgZdroj")->button(0), Qt::LeftButton);
    EXPECT_TRUE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
    EXPECT_EQ(w->runState().cisloProgramu, 1);
}

TEST_F(Selection, SourceShowsAndHidesThePackageFolder) {
    const auto w = open();
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgZdroj")->button(1), Qt::LeftButton);
    EXPECT_EQ(w->runState().odkudinstC, 2);
    EXPECT_TRUE(control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->isVisible());
    EXPECT_TRUE(control<QLabel>(*w, "LbOdkudCesta")->isVisible());
    EXPECT_FALSE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgZdroj")->button(0), Qt::LeftButton);
    EXPECT_EQ(w->runState().odkudinstC, 1);
    EXPECT_TRUE(control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->isHidden());
    EXPECT_FALSE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
}

TEST_F(Selection, KeyboardSelectionCountsAsAUserAction) {
    const auto w = open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    control<ui::RadioGroup>(*w, "RgZdroj")->button(0)->setFocus();
    QTest::keyClick(control<ui::RadioGroup>(*w, "RgZdroj")->button(0), Qt::Key_Down);
    EXPECT_EQ(w->runState().odkudinstC, 2);
    EXPECT_FALSE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
}

TEST_F(Selection, ProductThreeGetsARealProductOnClick) {
    writeSettings("program=3\r\n");
    const auto w = open();
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgPrg")->button(3), Qt::LeftButton);
    EXPECT_EQ(w->runState().cisloProgramu, 5);
    EXPECT_EQ(w->descriptorName(), QStringLiteral("zorbenka.ini"));
}

TEST_F(Selection, EnterAndEscapeActOnlyOnTheFirstScreenWhileEnabled) {
    const auto w = open();
    QSignalSpy ok(control<ui::BitBtn>(*w, "BtnOK"), &QPushButton::clicked);
    QTest::keyClick(targetField(*w, 1), Qt::Key_Return);
    EXPECT_EQ(ok.count(), 1);
    QTest::mouseClick(control<ui::RadioGroup>(*w, "RgPrg")->button(1),
                      Qt::LeftButton);  // disables Install
    QTest::keyClick(w.get(), Qt::Key_Enter);
    EXPECT_EQ(ok.count(), 1);

    control<QWidget>(*w, "PanUvod")->hide();
    control<QWidget>(*w, "PanStart")->show();
    QSignalSpy cancel(control<ui::BitBtn>(*w, "BtnStorno"), &QPushButton::clicked);
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_EQ(cancel.count(), 0);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(Selection, ReturnActsOnTheFocusedButtonAndOtherwiseOnInstall) {
    const auto w = open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QSignalSpy ok(control<ui::BitBtn>(*w, "BtnOK"), &QPushButton::clicked);
    QSignalSpy upgrade(control<ui::BitBtn>(*w, "BtnAktual"), &QPushButton::clicked);
    QSignalSpy cancel(control<ui::BitBtn>(*w, "BtnStorno"), &QPushButton::clicked);
    // Only the clicks are counted here: no download, no save, no quit.
    for (QPushButton* b : {static_cast<QPushButton*>(control<ui::BitBtn>(*w, "BtnOK")),
                           static_cast<QPushButton*>(control<ui::BitBtn>(*w, "BtnAktual")),
                           static_cast<QPushButton*>(control<ui::BitBtn>(*w, "BtnStorno"))}) {
        QObject::disconnect(b, nullptr, w.get(), nullptr);
    }
    control<ui::BitBtn>(*w, "BtnStorno")->setFocus();
    QTest::keyClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::Key_Return);
    EXPECT_EQ(cancel.count(), 1);
    control<ui::BitBtn>(*w, "BtnAktual")->setFocus();
    QTest::keyClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::Key_Enter);
    EXPECT_EQ(upgrade.count(), 1);
    EXPECT_EQ(ok.count(), 0);
    // In a text field, on a radio item or a check box: the default button.
    targetField(*w, 0)->setFocus();
    QTest::keyClick(targetField(*w, 0), Qt::Key_Return);
    control<QCheckBox>(*w, "CbKoukani")->setFocus();
    QTest::keyClick(control<QCheckBox>(*w, "CbKoukani"), Qt::Key_Return);
    EXPECT_EQ(ok.count(), 2);
    // Escape is Storno wherever the focus is.
    control<ui::BitBtn>(*w, "BtnAktual")->setFocus();
    QTest::keyClick(control<ui::BitBtn>(*w, "BtnAktual"), Qt::Key_Escape);
    EXPECT_EQ(cancel.count(), 2);
    EXPECT_EQ(upgrade.count(), 1);
}

TEST_F(Selection, EndButtonClosesWithoutSaving) {
    const auto w = open();
    control<QWidget>(*w, "PanUvod")->hide();
    control<QWidget>(*w, "PanStart")->show();
    control<QWidget>(*w, "PanInst")->show();
    control<QPushButton>(*w, "BtnKonec")->show();
    QTest::mouseClick(control<QPushButton>(*w, "BtnKonec"), Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

// A notification's action: the product and folder are chosen, Install is enabled, and
// nothing runs until it is pressed; Storno keeps the choice like any other.
TEST_F(Selection, ThePreselectedProductAndFolderWaitForInstall) {
    writeSettings("program=8\r\ncilinstalace=1\r\nkamcestaI=C:\\Old\r\nkamcestaII=C:\\B\r\n");
    const auto w = open();
    w->preselect(4, QStringLiteral("/srv/tulvek"));
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->selectedText(), QStringLiteral("Tulvék"));
    EXPECT_EQ(w->descriptorName(), QStringLiteral("tulvek.ini"));
    EXPECT_EQ(targetField(*w, 0)->text(), QStringLiteral("/srv/tulvek"));
    EXPECT_TRUE(targetField(*w, 0)->isVisible()) << "a search mode would hide the folder";
    EXPECT_EQ(w->runState().cilinstalace, 0);
    EXPECT_TRUE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
    EXPECT_TRUE(control<QWidget>(*w, "PanUvod")->isVisible());
    EXPECT_TRUE(control<QWidget>(*w, "PanStart")->isHidden());

    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::LeftButton);
    const QStringList saved = savedLines();
    EXPECT_TRUE(saved.contains("program=4")) << saved.join(u' ').toStdString();
    EXPECT_TRUE(saved.contains("cilinstalace=0"));
    EXPECT_TRUE(saved.contains("kamcestaI=/srv/tulvek"));
    EXPECT_TRUE(saved.contains("kamcestaII=C:\\B"));
}

}  // namespace
}  // namespace selvanix::test
