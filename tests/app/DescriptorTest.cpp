#include "WindowFixture.h"

namespace selvanix::test {
namespace {

using Descriptor = WindowFixture;

TEST_F(Descriptor, ShowsNameVersionAndDate) {
    const auto w = open();
    writeBytes(ownFolder() + "brodelik.ini",
               "[DEFINICE]\r\nhledany=brodelik.exe\r\nNazev=wrong\r\nnazev=Brod\xECl\xEDk\r\n"
               "verze=14,20\r\ndatum=12.5.2023\r\nrun=prog.exe=x\r\n");
    w->state.Cestaini = ownFolder() + "brodelik.ini";
    w->ListBox->addItem("stale");
    w->JedenINI();
    EXPECT_EQ(w->state.exac, QStringLiteral("brodelik.exe"));
    EXPECT_EQ(w->state.run, QStringLiteral("prog.exe=x"));
    EXPECT_EQ(w->LbRadekB->text(), w->state.nazev);
    EXPECT_EQ(w->LbVerze->text(), QStringLiteral("verze 14,20"));
    EXPECT_EQ(w->LbDatum->text(), QStringLiteral("12.5.2023"));
    EXPECT_EQ(w->LbRadekA->text(), QStringLiteral("Vítám Vás při instalaci programu"));
    EXPECT_EQ(w->LbRadekA->font().pixelSize(), 24);  // 18 points
    EXPECT_EQ(w->ListBox->count(), 0);
    EXPECT_TRUE(w->PanStartBar->isHidden());
    EXPECT_FALSE(w->PanInst->isHidden());
    EXPECT_TRUE(w->BtnKonec->isHidden());
    EXPECT_EQ(w->frameGeometry().width(), 400);
}

TEST_F(Descriptor, MissingDescriptorShowsEmptyValues) {
    const auto w = open();
    w->state.Cestaini = ownFolder() + "none.ini";
    w->JedenINI();
    EXPECT_EQ(w->LbRadekB->text(), QString());
    EXPECT_EQ(w->LbVerze->text(), QStringLiteral("verze "));
    EXPECT_EQ(w->LbDatum->text(), QString());
    EXPECT_TRUE(w->state.exac.isEmpty());
}

}  // namespace
}  // namespace selvanix::test
