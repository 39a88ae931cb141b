#include "WindowFixture.h"

#include "profile/IniFile.h"

#include <QDate>
#include <QLocale>

namespace selvanix::test {
namespace {

using Settings = WindowFixture;

QStringList defaultTargets(const QString& first) {
    QStringList lines{"kamcestaI=" + first};
    for (const char* n : {"II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X"}) {
        lines << QStringLiteral("kamcesta%1=").arg(QLatin1String(n));
    }
    return lines;
}

TEST_F(Settings, CancelSavesEveryKeyAndCloses) {
    const auto w = open();
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
    const QString today = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    EXPECT_EQ(savedLines(), QStringList({"program=1", "odkud=1", "odkudcesta=", "cilinstalace=0"}) +
                                defaultTargets(ownFolder()) +
                                QStringList({"koukani=N", "automaticky=N", "datum=" + today}));
    EXPECT_TRUE(dialogs->calls.empty());
}

TEST_F(Settings, SavedChoicesLoadAgain) {
    writeSettings("program=8\r\nodkud=2\r\nkamcestaII=C:\\B\r\nkoukani=y\r\n");
    {
        const auto w = open();
        EXPECT_FALSE(control<QCheckBox>(*w, "CbKoukani")->isChecked());  // only "Y" checks
        QTest::mouseClick(control<QCheckBox>(*w, "CbAutomaticky"), Qt::LeftButton);
        targetField(*w, 4)->setText("C:\\E");
        QTest::keyClick(w.get(), Qt::Key_Escape);
        EXPECT_FALSE(w->isVisible());
    }
    const QStringList saved = savedLines();
    EXPECT_TRUE(saved.contains("program=8"));
    EXPECT_TRUE(saved.contains("odkud=2"));
    EXPECT_TRUE(saved.contains("koukani=N"));
    EXPECT_TRUE(saved.contains("automaticky=Y"));
    EXPECT_TRUE(saved.contains("kamcestaII=C:\\B"));
    EXPECT_TRUE(saved.contains("kamcestaIV="));  // empty targets stay as keys
    const auto again = open();
    EXPECT_EQ(control<ui::RadioGroup>(*again, "RgPrg")->selectedText(), QStringLiteral("Quobr"));
    EXPECT_EQ(targetField(*again, 4)->text(), QStringLiteral("C:\\E"));
    EXPECT_TRUE(control<QCheckBox>(*again, "CbAutomaticky")->isChecked());
}

TEST_F(Settings, ProductThreeIsNotSavedAndComesBackAsOne) {
    writeSettings("program=3\r\n");
    {
        const auto w = open();
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::LeftButton);
    }
    EXPECT_FALSE(savedLines().join('\n').contains("program="));
    const auto again = open();
    EXPECT_EQ(again->runState().cisloProgramu, 1);
    EXPECT_EQ(control<ui::RadioGroup>(*again, "RgPrg")->selectedText(), QStringLiteral("Brodělík"));
}

TEST_F(Settings, TheSavedPackageFolderComesBackAndIsSavedAgain) {
    writeSettings("odkud=2\r\nodkudcesta=E:\\pkg\r\n");
    {
        const auto w = open();
        EXPECT_EQ(control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->text(),
                  QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::LeftButton);
        EXPECT_TRUE(savedLines().contains("odkudcesta=E:\\pkg"))
            << savedLines().join(' ').toStdString();
    }
    // Emptied by the user, it is saved empty.
    const auto w = open();
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QString());
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::LeftButton);
    EXPECT_TRUE(savedLines().contains("odkudcesta="));
}

TEST_F(Settings, SearchModesKeepTheStoredTargets) {
    for (const char* mode : {"1", "2"}) {
        SCOPED_TRACE(mode);
        writeSettings(QByteArray("cilinstalace=") + mode +
                      "\r\nkamcestaI=C:\\A\r\nkamcestaIII=D:\\B\r\n");
        const auto w = open();
        EXPECT_FALSE(targetField(*w, 0)->isVisible());
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::LeftButton);
        const QStringList saved = savedLines();
        EXPECT_TRUE(saved.contains(QStringLiteral("cilinstalace=") + mode));
        QStringList targets = defaultTargets("C:\\A");
        targets[2] = "kamcestaIII=D:\\B";
        for (const QString& line : targets) {
            EXPECT_TRUE(saved.contains(line)) << line.toStdString();
        }
    }
}

TEST_F(Settings, OtherSectionsSurviveASave) {
    writeBytes(settingsPath(),
               "[SERVER]\r\nbaseurl=http://127.0.0.1/\r\n[DEFINICE]\r\nodkud=2\r\n");
    const auto w = open();
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::LeftButton);
    EXPECT_TRUE(readBytes(settingsPath()).startsWith("[SERVER]\r\nbaseurl=http://127.0.0.1/\r\n"));
}

TEST_F(Settings, FailedSaveIsReportedAndTheProgramStays) {
    const auto w = open();
    const QString missing = ownFolder() + "missing/";
    platform::setInstallerFolder(missing);
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnStorno"), Qt::LeftButton);
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].kind, ScriptedDialogs::Kind::ErrorReport);
    EXPECT_EQ(dialogs->calls[0].caption, QStringLiteral("Selvanix"));
    EXPECT_EQ(dialogs->calls[0].text,
              QStringLiteral("Unable to write to %1upgrade.kac.").arg(missing));
}

TEST_F(Settings, SaveIntoDriveFolders) {
    TestDrives drives;
    const QString c = drives.add(u'C');
    QDir().mkpath(c + "/Prog");
    const auto w = open();
    w->UlozCFG("C:\\Prog\\");
    EXPECT_TRUE(QFile::exists(c + "/Prog/upgrade.kac"));
    QFile::remove(c + "/Prog/upgrade.kac");
    w->UlozCFG("C:\\Prog");
    EXPECT_TRUE(QFile::exists(c + "/Prog/upgrade.kac"));
    EXPECT_THROW(w->UlozCFG("C:\\Nowhere"), EIniFileException);
}

}  // namespace
}  // namespace selvanix::test
