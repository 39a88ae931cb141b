#include "WindowFixture.h"

#include <QRadioButton>
#include <QSignalSpy>

namespace selvanix::test {
namespace {

using Selection = WindowFixture;

TEST_F(Selection, ClickingAProductChoosesItsFilesAndDisablesInstall) {
    const auto w = open();
    QTest::mouseClick(w->RgPrg->button(2), Qt::LeftButton);
    EXPECT_EQ(w->state.cisloProgramu, 4);
    EXPECT_EQ(w->state.naz, QStringLiteral("tulvek"));
    EXPECT_EQ(w->nazini, QStringLiteral("tulvek.ini"));
    EXPECT_EQ(w->nazzip, QStringLiteral("upgrade-tulvek.zip"));
    EXPECT_EQ(w->RgPrg->listIndex(), 2);
    EXPECT_FALSE(w->BtnOK->isEnabled());
    QTest::mouseClick(w->RgPrg->button(6), Qt::LeftButton);
    EXPECT_EQ(w->state.cisloProgramu, 8);
    EXPECT_EQ(w->nazzip, QStringLiteral("upgrade-quobr.zip"));
}

TEST_F(Selection, DisabledInstallSaysWhyAndWhatToDo) {
    const auto w = open();
    EXPECT_TRUE(w->BtnOK->toolTip().isEmpty());
    EXPECT_TRUE(w->LbNovyVyber->isHidden());
    const int rowsBottom = w->EdKamCesta[9]->geometry().bottom();
    QTest::mouseClick(w->RgZdroj->button(1), Qt::LeftButton);
    EXPECT_FALSE(w->BtnOK->isEnabled());
    EXPECT_TRUE(w->BtnOK->toolTip().contains(QStringLiteral("Storno")));
    EXPECT_TRUE(w->LbNovyVyber->isVisible());
    EXPECT_EQ(w->LbNovyVyber->text(),
              QStringLiteral("Nový výběr uložte tlačítkem Storno a spusťte instalaci znovu."));
    EXPECT_TRUE(w->PanUvodDolni->geometry().contains(
        w->LbNovyVyber->geometry().translated(w->PanUvodDolni->geometry().topLeft())));
    // The line takes room from the rows, which stay whole, and the buttons keep their row.
    expectRowsWhole(*w);
    EXPECT_LE(w->EdKamCesta[9]->geometry().bottom(), rowsBottom + 20);
    EXPECT_EQ(w->BtnOK->height(), 25);
    QTest::mouseClick(w->RgPrg->button(1), Qt::LeftButton);  // a second change: one line still
    EXPECT_EQ(w->PanUvodDolni->findChildren<QLabel*>().count(), 2);
}

TEST_F(Selection, ClickingTheSelectedItemChangesNothing) {
    const auto w = open();
    QTest::mouseClick(w->RgPrg->button(0), Qt::LeftButton);
    QTest::mouseClick(w->RgZdroj->button(0), Qt::LeftButton);
    EXPECT_TRUE(w->BtnOK->isEnabled());
    EXPECT_EQ(w->state.cisloProgramu, 1);
}

TEST_F(Selection, SourceShowsAndHidesThePackageFolder) {
    const auto w = open();
    QTest::mouseClick(w->RgZdroj->button(1), Qt::LeftButton);
    EXPECT_EQ(w->state.odkudinstC, 2);
    EXPECT_TRUE(w->EdOdkudCesta->isVisible());
    EXPECT_TRUE(w->LbOdkudCesta->isVisible());
    EXPECT_FALSE(w->BtnOK->isEnabled());
    QTest::mouseClick(w->RgZdroj->button(0), Qt::LeftButton);
    EXPECT_EQ(w->state.odkudinstC, 1);
    EXPECT_TRUE(w->EdOdkudCesta->isHidden());
    EXPECT_FALSE(w->BtnOK->isEnabled());
}

TEST_F(Selection, KeyboardSelectionCountsAsAUserAction) {
    const auto w = open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->RgZdroj->button(0)->setFocus();
    QTest::keyClick(w->RgZdroj->button(0), Qt::Key_Down);
    EXPECT_EQ(w->state.odkudinstC, 2);
    EXPECT_FALSE(w->BtnOK->isEnabled());
}

TEST_F(Selection, ProductThreeGetsARealProductOnClick) {
    writeSettings("program=3\r\n");
    const auto w = open();
    QTest::mouseClick(w->RgPrg->button(3), Qt::LeftButton);
    EXPECT_EQ(w->state.cisloProgramu, 5);
    EXPECT_EQ(w->nazini, QStringLiteral("zorbenka.ini"));
}

TEST_F(Selection, EnterAndEscapeActOnlyOnTheFirstScreenWhileEnabled) {
    const auto w = open();
    QSignalSpy ok(w->BtnOK, &QPushButton::clicked);
    QTest::keyClick(w->EdKamCesta[1], Qt::Key_Return);
    EXPECT_EQ(ok.count(), 1);
    QTest::mouseClick(w->RgPrg->button(1), Qt::LeftButton);  // disables Install
    QTest::keyClick(w.get(), Qt::Key_Enter);
    EXPECT_EQ(ok.count(), 1);

    w->PanUvod->hide();
    w->PanStart->show();
    QSignalSpy cancel(w->BtnStorno, &QPushButton::clicked);
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_EQ(cancel.count(), 0);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(Selection, ReturnActsOnTheFocusedButtonAndOtherwiseOnInstall) {
    const auto w = open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QSignalSpy ok(w->BtnOK, &QPushButton::clicked);
    QSignalSpy upgrade(w->BtnAktual, &QPushButton::clicked);
    QSignalSpy cancel(w->BtnStorno, &QPushButton::clicked);
    // Only the clicks are counted here: no download, no save, no quit.
    for (QPushButton* b :
         {static_cast<QPushButton*>(w->BtnOK), static_cast<QPushButton*>(w->BtnAktual),
          static_cast<QPushButton*>(w->BtnStorno)}) {
        QObject::disconnect(b, nullptr, w.get(), nullptr);
    }
    w->BtnStorno->setFocus();
    QTest::keyClick(w->BtnStorno, Qt::Key_Return);
    EXPECT_EQ(cancel.count(), 1);
    w->BtnAktual->setFocus();
    QTest::keyClick(w->BtnAktual, Qt::Key_Enter);
    EXPECT_EQ(upgrade.count(), 1);
    EXPECT_EQ(ok.count(), 0);
    // In a text field, on a radio item or a check box: the default button.
    w->EdKamCesta[0]->setFocus();
    QTest::keyClick(w->EdKamCesta[0], Qt::Key_Return);
    w->CbKoukani->setFocus();
    QTest::keyClick(w->CbKoukani, Qt::Key_Return);
    EXPECT_EQ(ok.count(), 2);
    // Escape is Storno wherever the focus is.
    w->BtnAktual->setFocus();
    QTest::keyClick(w->BtnAktual, Qt::Key_Escape);
    EXPECT_EQ(cancel.count(), 2);
    EXPECT_EQ(upgrade.count(), 1);
}

TEST_F(Selection, EndButtonClosesWithoutSaving) {
    const auto w = open();
    w->PanUvod->hide();
    w->PanStart->show();
    w->PanInst->show();
    w->BtnKonec->show();
    QTest::mouseClick(w->BtnKonec, Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

}  // namespace
}  // namespace selvanix::test
