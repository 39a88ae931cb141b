// Every text of the run screen's bands is drawn whole, at the band's specified size: no
// descender, accent or long name is cut at a band's edge.
#include "InstallFixture.h"

namespace selvanix::test {
namespace {

QColor backgroundOf(const QLabel* label) {
    if (const auto* label3d = qobject_cast<const ui::Label3D*>(label)) {
        return label3d->backgroundColor();
    }
    return label->palette().color(QPalette::Window);
}

// The border pixels are all background (a cut glyph would cross the border) and the text
// left some ink inside.
void expectWhole(QLabel* label) {
    SCOPED_TRACE(label->objectName().toStdString() + ": " + label->text().toStdString());
    ASSERT_TRUE(label->isVisible());
    const QImage image = label->grab().toImage();
    const QColor background = backgroundOf(label);
    int ink = 0;
    int onBorder = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != background) {
                ++ink;
                const bool border =
                    x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1;
                onBorder += border ? 1 : 0;
            }
        }
    }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(onBorder, 0);
}

void expectBandsWhole(const TFrDRozbal& w) {
    for (QLabel* label : {static_cast<QLabel*>(control<ui::Label3D>(w, "LbNadpisPanStart")),
                          static_cast<QLabel*>(control<ui::Label3D>(w, "LbRadekA")),
                          static_cast<QLabel*>(control<ui::Label3D>(w, "LbRadekB")),
                          control<QLabel>(w, "LbVerze"), control<QLabel>(w, "LbDatum"),
                          control<QLabel>(w, "LbRadekC"), control<QLabel>(w, "LbReason")}) {
        if (label->isVisible()) {
            expectWhole(label);
        }
    }
}

using ScreenText = InstallRun;

TEST_F(ScreenText, TheSuccessScreen) {
    drives.add(u'C');
    packageOnDiskE(false);
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    ASSERT_EQ(control<ui::Label3D>(*w, "LbRadekB")->text(), QStringLiteral("Instaloval jsem 1x"));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekB")->height(), 40);
    expectBandsWhole(*w);
    // The width the descriptor's screen asks for, the height of the first screen, fixed.
    EXPECT_EQ(w->frameGeometry().size(), QSize(400, 530));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
}

TEST_F(ScreenText, TheNoPackageAndNoTargetScreens) {
    {
        auto w = start("program=1\r\nodkud=2\r\n");
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        ASSERT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(), QStringLiteral("Nebyl nalezen"));
        expectBandsWhole(*w);
    }
    packageOnDiskE(false);
    auto w = start("program=1\r\nodkud=2\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    targetField(*w, 0)->clear();
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    ASSERT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(), QStringLiteral("Chyba Instalace"));
    expectBandsWhole(*w);
}

// What a package or a target can make long: the product's name, its version, a deep path.
TEST_F(ScreenText, LongNamesAndPathsStayWhole) {
    auto w = start("program=1\r\n");
    control<ui::BitBtn>(*w, "BtnOK")->hide();
    control<QWidget>(*w, "PanUvod")->hide();
    control<QWidget>(*w, "PanStart")->show();
    writeBytes(ownFolder() + QStringLiteral("long.ini"),
               "[DEFINICE]\r\nnazev=Brodělík Profesionál pro sítě a víceuživatelský provoz\r\n"
               "verze=14,20 (sestavení 2023-05-12, jazyková mutace česká a slovenská)\r\n"
               "datum=12.5.2023\r\n");
    w->showDescriptorFile(ownFolder() + QStringLiteral("long.ini"));
    expectBandsWhole(*w);
    control<QLabel>(*w, "LbRadekC")
        ->setText(QStringLiteral("Instaluji do ") +
                  QStringLiteral("/Programy/Účetnictví").repeated(8));
    control<QLabel>(*w, "LbRadekC")->show();
    expectWhole(control<QLabel>(*w, "LbRadekC"));
}

}  // namespace
}  // namespace selvanix::test
