#include "WindowFixture.h"

#include <QAccessible>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>

#include "profile/IniFile.h"

#include <QApplication>
#include <QProgressBar>

namespace selvanix::test {

QStringList WindowFixture::savedLines() const {
    QStringList lines;
    TIniFile(settingsPath()).ReadSectionValues("DEFINICE", lines);
    return lines;
}

namespace {

using StartUp = WindowFixture;

TEST_F(StartUp, WithoutSettingsFile) {
    const auto w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Instalace programu"));
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->selectedText(), QStringLiteral("Brodělík"));
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->listIndex(), 0);
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgZdroj")->selectedText(),
              QStringLiteral("Z internetu"));
    EXPECT_TRUE(control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->isHidden());
    EXPECT_TRUE(control<QLabel>(*w, "LbOdkudCesta")->isHidden());
    for (int i = 0; i < kTargetCount; ++i) {
        EXPECT_TRUE(targetField(*w, i)->isVisible()) << i;
        EXPECT_TRUE(targetLabel(*w, i)->isVisible()) << i;
    }
    EXPECT_EQ(targetField(*w, 0)->text(), ownFolder());
    EXPECT_TRUE(targetField(*w, 1)->text().isEmpty());
    EXPECT_TRUE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
    EXPECT_EQ(w->runState().cisloProgramu, 1);
    EXPECT_EQ(w->runState().odkudinstC, 1);
    EXPECT_EQ(w->runState().cilinstalace, 0);
    EXPECT_EQ(w->runState().naz, QStringLiteral("brodelik"));
    EXPECT_EQ(w->descriptorName(), QStringLiteral("brodelik.ini"));
    EXPECT_EQ(w->archiveName(), QStringLiteral("upgrade-brodelik.zip"));
    EXPECT_TRUE(control<QWidget>(*w, "PanUvod")->isVisible());
    EXPECT_TRUE(control<QWidget>(*w, "PanStart")->isHidden());
    EXPECT_TRUE(control<QProgressBar>(*w, "ProgressBar1")->isHidden());
    EXPECT_TRUE(control<QListWidget>(*w, "ListBox")->isHidden());
    EXPECT_FALSE(control<QCheckBox>(*w, "CbKoukani")->isChecked());
    EXPECT_EQ(w->frameGeometry().size(), QSize(390, 530));
    EXPECT_FALSE(QFile::exists(settingsPath()));  // reading creates nothing
    EXPECT_TRUE(dialogs->calls.empty());
}

TEST_F(StartUp, ProductThreeSelectsNothing) {
    writeSettings("program=3\r\n");
    const auto w = open();
    EXPECT_EQ(w->runState().cisloProgramu, 3);
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->itemIndex(), 0);  // the design selection stays
    EXPECT_TRUE(w->descriptorName().isEmpty());
    EXPECT_TRUE(w->archiveName().isEmpty());
    EXPECT_TRUE(w->runState().naz.isEmpty());
    EXPECT_TRUE(control<ui::BitBtn>(*w, "BtnOK")->isEnabled());
}

TEST_F(StartUp, StoredProductAndSourceAreShown) {
    writeSettings(
        "program=4\r\nodkud=2\r\nodkudcesta=E:\\pkg\r\nkoukani=Y\r\nautomaticky=Y\r\n"
        "kamcestaI=C:\\A\r\nkamcestaIII=D:\\B\r\n");
    const auto w = open();
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->selectedText(), QStringLiteral("Tulvék"));
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->listIndex(), 2);
    EXPECT_EQ(w->descriptorName(), QStringLiteral("tulvek.ini"));
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgZdroj")->selectedText(),
              QStringLiteral("Z pevného disku"));
    EXPECT_TRUE(control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->isVisible());
    EXPECT_EQ(control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->text(),
              QStringLiteral("E:\\pkg"));  // the stored folder is shown
    EXPECT_EQ(w->runState().odkudCesta, QStringLiteral("E:\\pkg"));
    EXPECT_TRUE(control<QCheckBox>(*w, "CbKoukani")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(*w, "CbAutomaticky")->isChecked());
    EXPECT_EQ(targetField(*w, 0)->text(), QStringLiteral("C:\\A"));
    EXPECT_EQ(targetField(*w, 2)->text(), QStringLiteral("D:\\B"));
    EXPECT_TRUE(control<ui::BitBtn>(*w, "BtnOK")
                    ->isEnabled());  // selecting from code runs no click handler
}

TEST_F(StartUp, TargetModesOneAndTwoHideTheTargetRows) {
    for (const char* mode : {"1", "2"}) {
        writeSettings(QByteArray("cilinstalace=") + mode + "\r\nkamcestaI=C:\\A\r\n");
        const auto w = open();
        EXPECT_EQ(w->runState().cilinstalace, QByteArray(mode).toInt());
        for (int i = 0; i < kTargetCount; ++i) {
            EXPECT_TRUE(targetField(*w, i)->isHidden()) << mode << i;
            EXPECT_TRUE(targetLabel(*w, i)->isHidden()) << mode << i;
        }
        // Hidden, the field keeps the stored target for the next save.
        EXPECT_EQ(targetField(*w, 0)->text(), QStringLiteral("C:\\A"));
        EXPECT_EQ(w->runState().KamCesta[0], QStringLiteral("C:\\A"));
    }
}

// A screen reader tells the ten target rows apart and finds each field's browse button.
TEST_F(StartUp, FieldsHaveNamesAScreenReaderReads) {
    const auto w = open();
    const char* rows[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X"};
    QSet<QString> names;
    for (int i = 0; i < kTargetCount; ++i) {
        QAccessibleInterface* field = QAccessible::queryAccessibleInterface(targetField(*w, i));
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->text(QAccessible::Name), QStringLiteral("Cílový adresář ") + rows[i]);
        EXPECT_FALSE(field->text(QAccessible::Description).isEmpty());
        names.insert(field->text(QAccessible::Name));
        EXPECT_EQ(targetLabel(*w, i)->text(), QStringLiteral("Cílový adresář")) << "look kept";
        EXPECT_EQ(targetLabel(*w, i)->buddy(), targetField(*w, i));
        bool button = false;
        for (int c = 0; c < field->childCount(); ++c) {
            button = button || field->child(c)->text(QAccessible::Name) == u"Vybrat adresář";
        }
        EXPECT_TRUE(button) << rows[i];
    }
    EXPECT_EQ(names.size(), kTargetCount);
    // The banner reads as the maker's name; the groups by their painted captions.
    for (const char* banner : {"LbNadpisPanUvod", "LbNadpisPanStart"}) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(control<QWidget>(*w, banner))
                      ->text(QAccessible::Name),
                  QStringLiteral("TARMOL software"))
            << banner;
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(control<QWidget>(*w, "RgPrg"))
                  ->text(QAccessible::Name),
              QStringLiteral("Výběr programu"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(control<QWidget>(*w, "RgZdroj"))
                  ->text(QAccessible::Name),
              QStringLiteral("Výběr zdroje"));
    // The product group's picture is named on the run screen.
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    for (const char* picture : {"ImPanStart", "ImPaninst"}) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(control<QWidget>(*w, picture))
                      ->text(QAccessible::Name),
                  QStringLiteral("Obrázek programu Brodělík"))
            << picture;
    }
    QAccessibleInterface* source =
        QAccessible::queryAccessibleInterface(control<ui::DirectoryEdit>(*w, "EdOdkudCesta"));
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->text(QAccessible::Name), QStringLiteral("Umístění instalačního balíčku"));
}

TEST_F(StartUp, TheChosenProductHasTheFocusAtStart) {
    writeSettings("program=4\r\n");
    const auto w = open();
    EXPECT_EQ(w->focusWidget(),
              static_cast<QWidget*>(control<ui::RadioGroup>(*w, "RgPrg")->button(2)));
}

TEST_F(StartUp, ColoursAndTexts) {
    const auto w = open();
    const QColor cream(242, 232, 208);
    const QColor teal(0, 128, 128);
    const QColor standard = QApplication::palette().color(QPalette::Window);
    EXPECT_EQ(w->palette().color(QPalette::Window), standard);
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->palette().color(QPalette::Window), standard);
    for (QWidget* creamByDesign :
         {control<QWidget>(*w, "PanUvod"), control<QWidget>(*w, "PanUvodLevy"),
          control<QWidget>(*w, "PanUvodPravy"), control<QWidget>(*w, "PanUvodniCheck"),
          control<QWidget>(*w, "PanUvodDolni"),
          static_cast<QWidget*>(control<ui::RadioGroup>(*w, "RgZdroj")),
          static_cast<QWidget*>(control<QCheckBox>(*w, "CbKoukani")),
          static_cast<QWidget*>(targetLabel(*w, 9)),
          static_cast<QWidget*>(control<QLabel>(*w, "Label1")), control<QWidget>(*w, "PanStart"),
          control<QWidget>(*w, "PanInst"), static_cast<QWidget*>(control<QLabel>(*w, "LbRadekC")),
          control<QWidget>(*w, "PanStartBar")}) {
        EXPECT_EQ(creamByDesign->palette().color(QPalette::Window), cream)
            << creamByDesign->objectName().toStdString();
    }
    EXPECT_EQ(control<ui::Label3D>(*w, "LbNadpisPanUvod")->backgroundColor(), QColor(0, 0, 128));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbNadpisPanUvod")->faceColor(), cream);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbNadpisPanUvod")->fontColor(), teal);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbNadpisPanUvod")->style(), ui::Label3D::Style::Raised);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbNadpisPanUvod")->text(),
              QStringLiteral("TARMOL software"));
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->backgroundColor(), teal);
    EXPECT_EQ(control<ui::Label3D>(*w, "LbRadekA")->faceColor(), cream);
    EXPECT_EQ(control<QLabel>(*w, "LbVerze")->palette().color(QPalette::WindowText), teal);
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->captionColor(), cream);
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgZdroj")->captionColor(), teal);
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->caption(), QStringLiteral("Výběr programu"));
    EXPECT_EQ(control<ui::RadioGroup>(*w, "RgPrg")->items(),
              (QStringList{"Brodělík", "Pesmarín", "Tulvék", "Zorbénka", "Malvidoř", "Hestěrka",
                           "Quobr"}));
    EXPECT_EQ(control<ui::BitBtn>(*w, "BtnOK")->text(), QStringLiteral("Instalovat"));
    EXPECT_EQ(control<ui::BitBtn>(*w, "BtnStorno")->text(), QStringLiteral("Storno"));
    EXPECT_EQ(control<ui::BitBtn>(*w, "BtnAktual")->text(), QStringLiteral("Upgrade"));
    EXPECT_EQ(control<ui::BitBtn>(*w, "BtnOK")->width(), 104);
    EXPECT_EQ(control<QWidget>(*w, "PanUvod")->width(), 370);
    EXPECT_EQ(control<QWidget>(*w, "PanUvodniCheck")->height(), 222);
    for (const char* name : {"PanUvod",     "RgPrg",       "RgZdroj",   "CbKoukani", "EdOdkudCesta",
                             "EdKamCestaI", "EdKamCestaX", "BtnOK",     "BtnStorno", "BtnAktual",
                             "PanStart",    "LbRadekA",    "LbRadekB",  "LbVerze",   "LbDatum",
                             "LbRadekC",    "BtnKonec",    "BarStartA", "BarStartB", "ListBox"}) {
        EXPECT_NE(w->findChild<QWidget*>(name), nullptr) << name;
    }
}

// The outer size stays as specified whatever the frame, the user cannot resize or maximise
// the window, and the rows fill their panel: none is cut off, no empty band is left below.
TEST_F(StartUp, FixedOuterSizeAndRowsThatFitTheirPanel) {
    const auto w = open();
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_LE(expectRowsWhole(*w),
              std::max(0, control<QWidget>(*w, "PanUvodPravy")->height() - 222) + 3);
    // On a screen it fits, the window is its screens and nothing scrolls.
    EXPECT_EQ(control<QWidget>(*w, "PanContent")->size(), w->size());
    const auto* scroll = control<QScrollArea>(*w, "ScrollView");
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    // A window manager's taller title bar leaves less room: the rows give way, all stay.
    w->setOuterSize(390, 500);
    EXPECT_EQ(w->frameGeometry().size(), QSize(390, 500));
    EXPECT_EQ(control<QWidget>(*w, "PanContent")->size(), w->size());
    EXPECT_LE(expectRowsWhole(*w), 4);
}

// The caption is cream; it must not stand on cream.
TEST_F(StartUp, ProductCaptionStandsOutFromItsGroup) {
    const auto w = open();
    const QImage group = control<ui::RadioGroup>(*w, "RgPrg")->grab().toImage();
    const QColor background = group.pixelColor(group.width() - 3, 1);
    const QColor cream(242, 232, 208);
    int captionPixels = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 8; x < 130; ++x) {
            const QColor p = group.pixelColor(x, y);
            if (p == cream && p != background) {
                ++captionPixels;
            }
        }
    }
    EXPECT_NE(background, cream);
    EXPECT_GT(captionPixels, 40);  // the solid cores of the bold letters
}

}  // namespace
}  // namespace selvanix::test
