#include "WindowFixture.h"

namespace selvanix::test {
namespace {

using Descriptor = WindowFixture;

TEST_F(Descriptor, ShowsNameVersionAndDate) {
    const auto w = open();
    writeBytes(ownFolder() + "brodelik.ini",
               "[DEFINICE]\r\nhledany=brodelik.exe\r\nNazev=wrong\r\nnazev=Brod\xECl\xEDk\r\n"
               "verze=14,20\r\ndatum=12.5.2023\r\nrun=prog.exe=x\r\n");
    control<QListWidget>(*w, "ListBox")->addItem("stale");
    w->showDescriptorFile(ownFolder() + "brodelik.ini");
    EXPECT_EQ(w->runState().exac, QStringLiteral("brodelik.exe"));
    EXPECT_EQ(w->runState().run, QStringLiteral("prog.exe=x"));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), w->runState().nazev);
    EXPECT_EQ(control<QLabel>(*w, "LbVerze")->text(), QStringLiteral("verze 14,20"));
    EXPECT_EQ(control<QLabel>(*w, "LbDatum")->text(), QStringLiteral("12.5.2023"));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
              QStringLiteral("Vítám Vás při instalaci programu"));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->font().pixelSize(), 24);  // 18 points
    EXPECT_EQ(control<QListWidget>(*w, "ListBox")->count(), 0);
    EXPECT_TRUE(control<QWidget>(*w, "PanStartBar")->isHidden());
    EXPECT_FALSE(control<QWidget>(*w, "PanInst")->isHidden());
    EXPECT_TRUE(control<QPushButton>(*w, "BtnKonec")->isHidden());
    EXPECT_EQ(w->frameGeometry().width(), 400);
}

TEST_F(Descriptor, MissingDescriptorShowsEmptyValues) {
    const auto w = open();
    w->showDescriptorFile(ownFolder() + "none.ini");
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QString());
    EXPECT_EQ(control<QLabel>(*w, "LbVerze")->text(), QStringLiteral("verze "));
    EXPECT_EQ(control<QLabel>(*w, "LbDatum")->text(), QString());
    EXPECT_TRUE(w->runState().exac.isEmpty());
}

}  // namespace
}  // namespace selvanix::test
