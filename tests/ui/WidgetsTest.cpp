#include "ui/DirectoryEdit.h"
#include "ui/Label3D.h"
#include "ui/Look.h"
#include "ui/RadioGroup.h"
#include "ui/WindowFit.h"

#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <tuple>

using namespace selvanix;
using selvanix::test::ScriptedDialogs;

namespace {

TEST(Look, WindowsColoursAreBgr) {
    EXPECT_EQ(ui::windowsColor(13691122), QColor(242, 232, 208));
    EXPECT_EQ(ui::windowsColor(8421376), QColor(0, 128, 128));
    EXPECT_EQ(ui::windowsColor(8388608), QColor(0, 0, 128));
}

int countNear(const QImage& image, const QColor& color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - color.red()) + std::abs(p.green() - color.green()) +
                    std::abs(p.blue() - color.blue()) <
                12) {
                ++n;
            }
        }
    }
    return n;
}

TEST(WindowFit, TheContentWhenItFitsElseTheScreenWithTheBarsItNeeds) {
    const QSize content(390, 530);
    const auto fit = [&](QSize room) {
        const ui::WindowFit f = ui::windowFit(content, room, 16);
        return std::tuple(f.size, f.across, f.down);
    };
    EXPECT_EQ(fit(QSize(800, 600)), std::tuple(content, false, false));
    EXPECT_EQ(fit(content), std::tuple(content, false, false));
    // Too tall: a vertical bar, and the width grows by it while the screen allows.
    EXPECT_EQ(fit(QSize(640, 400)), std::tuple(QSize(406, 400), false, true));
    // Too tall with no width to spare: the vertical bar's width cuts the content, so a
    // horizontal bar comes too.
    EXPECT_EQ(fit(QSize(400, 400)), std::tuple(QSize(400, 400), true, true));
    // Only too wide: a horizontal bar, and the height grows by it.
    EXPECT_EQ(fit(QSize(380, 700)), std::tuple(QSize(380, 546), true, false));
    EXPECT_EQ(fit(QSize(300, 546)), std::tuple(QSize(300, 546), true, false));
    // Too wide, and the horizontal bar's height no longer fits: both bars.
    EXPECT_EQ(fit(QSize(300, 540)), std::tuple(QSize(300, 540), true, true));
}

TEST(Label3D, RaisedTextHasFaceAndShadow) {
    ui::Label3D label;
    label.resize(300, 51);
    label.setText("TARMOL");
    label.setFont(ui::timesNewRoman(40));
    label.setAlignment(Qt::AlignCenter);
    label.setBackgroundColor(Qt::blue);
    label.setInactiveColor(Qt::white);
    label.setFontColor(Qt::red);
    const QImage flat = label.grab().toImage();
    EXPECT_GT(countNear(flat, Qt::white), 100);
    EXPECT_EQ(countNear(flat, Qt::red), 0);

    label.setStyle(ui::Label3D::Style::Raised);
    label.setShadowDepth(2);
    const QImage raised = label.grab().toImage();
    EXPECT_GT(countNear(raised, Qt::white), 100);
    EXPECT_GT(countNear(raised, Qt::red), 20);
    // The shadow lies below and right of the face: a face pixel's neighbour 2 down and
    // right is shadow somewhere.
    bool offset = false;
    for (int y = 0; y + 2 < raised.height() && !offset; ++y) {
        for (int x = 0; x + 2 < raised.width() && !offset; ++x) {
            offset = raised.pixelColor(x, y) == QColor(Qt::white) &&
                     raised.pixelColor(x + 2, y + 2) == QColor(Qt::red);
        }
    }
    EXPECT_TRUE(offset);
}

TEST(RadioGroup, ReportsOnlyUserChanges) {
    ui::RadioGroup group;
    group.resize(200, 120);
    group.setItems({"A", "B", "C"});
    group.setColumns(2);
    group.show();
    QSignalSpy spy(&group, &ui::RadioGroup::userChanged);

    group.setItemIndex(1);
    EXPECT_EQ(group.itemIndex(), 1);
    EXPECT_EQ(spy.count(), 0);

    QTest::mouseClick(group.button(1), Qt::LeftButton);  // already selected
    EXPECT_EQ(spy.count(), 0);

    QTest::mouseClick(group.button(2), Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(group.selectedText(), QStringLiteral("C"));

    group.setItemIndex(-1);
    EXPECT_EQ(group.itemIndex(), -1);
    EXPECT_EQ(group.selectedText(), QString());
    EXPECT_EQ(spy.count(), 1);
    // Two columns: items run down the first column first.
    EXPECT_EQ(group.button(0)->x(), group.button(1)->x());
    EXPECT_LT(group.button(1)->x(), group.button(2)->x());
}

// Tab reaches the group once, on its selected item; the arrows move and select within it.
TEST(RadioGroup, TabLandsOnTheSelectedItemAndArrowsMoveWithin) {
    QWidget window;
    auto* before = new QLineEdit(&window);
    auto* group = new ui::RadioGroup(&window);
    group->setItems({"A", "B", "C", "D"});  // before the next field, as the window builds it
    auto* after = new QLineEdit(&window);
    group->setItemIndex(2);
    window.show();
    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), group->button(2));
    QTest::keyClick(group->button(2), Qt::Key_Down);
    EXPECT_EQ(window.focusWidget(), group->button(3));
    EXPECT_EQ(group->itemIndex(), 3);
    QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), after) << "one stop for the whole group";
    QTest::keyClick(after, Qt::Key_Backtab);
    EXPECT_EQ(window.focusWidget(), group->button(3)) << "the newly selected one";
}

TEST(DirectoryEdit, BrowsePutsTheChosenFolderIntoTheField) {
    auto dialogs = std::make_shared<ScriptedDialogs>();
    platform::setDialogs(dialogs);
    ui::DirectoryEdit edit;
    edit.setText("C:\\old");
    dialogs->folderAnswers = {QString("/opt/brodelik"), std::nullopt};
    edit.browseAction()->trigger();
    EXPECT_EQ(edit.text(), QStringLiteral("/opt/brodelik"));
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].text, QStringLiteral("C:\\old"));  // starts at the field's folder
    edit.browseAction()->trigger();                                // cancelled
    EXPECT_EQ(edit.text(), QStringLiteral("/opt/brodelik"));
    // From the keyboard: the button takes no focus, F4 and Alt+Down in the field open it.
    edit.show();
    edit.setFocus();
    dialogs->folderAnswers = {QString("/srv/a"), QString("/srv/b")};
    QTest::keyClick(&edit, Qt::Key_F4);
    EXPECT_EQ(edit.text(), QStringLiteral("/srv/a"));
    QTest::keyClick(&edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("/srv/b"));
    EXPECT_EQ(dialogs->calls.size(), 4u);
    platform::setDialogs(nullptr);
}

}  // namespace

#include "platform/FileOps.h"
#include "ui/Translations.h"
#include "ui/WidgetDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

namespace {

// Answers the next modal dialog once it is up.
// A window's frame as it is on the screen. Under X, Qt learns a frame some time after the
// window manager drew it, so the frame comes from the window manager's own record of it.
QRect frameOnScreen(const QWidget& window) {
    if (QGuiApplication::platformName() != u"xcb") {
        return window.frameGeometry();
    }
    const QRegularExpression extents(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)"));
    for (int i = 0; i < 250; ++i) {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), QString::number(window.winId()),
                     QStringLiteral("_NET_FRAME_EXTENTS")});
        xprop.waitForFinished();
        const QRegularExpressionMatch m = extents.match(QString::fromUtf8(xprop.readAll()));
        if (m.hasMatch()) {
            return window.geometry().marginsAdded(
                QMargins(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(2).toInt(),
                         m.captured(4).toInt()));
        }
        QTest::qWait(20);
    }
    ADD_FAILURE() << "the window manager never framed " << window.objectName().toStdString();
    return window.geometry();
}

void whenModal(const std::function<void(QWidget*)>& answer) {
    QTimer::singleShot(0, [answer] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        answer(modal);
    });
}

TEST(WidgetDialogs, PasswordDialogMasksAndReturnsTheText) {
    selvanix::ui::WidgetDialogs dialogs;
    whenModal([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Password for \"a.exe\""));
        auto* edit = dialog->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(edit->maxLength(), 255);
        EXPECT_TRUE(edit->text().isEmpty());
        QTest::keyClicks(edit, "heslo");
        for (auto* b : dialog->findChildren<QPushButton*>()) {
            if (b->text() == u"OK") {
                EXPECT_TRUE(b->isDefault());
                b->click();
            }
        }
    });
    EXPECT_EQ(dialogs.password("Password for \"a.exe\"", "Enter password: ", 255),
              std::optional<QString>("heslo"));

    whenModal([](QWidget* dialog) {
        for (auto* b : dialog->findChildren<QPushButton*>()) {
            if (b->text() == u"Cancel") {
                b->click();
            }
        }
    });
    EXPECT_FALSE(dialogs.password("Password for \"a.exe\"", "Enter password: ", 255));
}

TEST(WidgetDialogs, MessageBoxButtonsMapToResults) {
    selvanix::ui::WidgetDialogs dialogs;
    whenModal([](QWidget* box) {
        for (auto* b : box->findChildren<QPushButton*>()) {
            if (b->text().contains(u"Retry")) {
                b->click();
            }
        }
    });
    EXPECT_EQ(dialogs.message("c", "t", platform::MessageIcon::Error,
                              platform::MessageButtons::AbortRetryIgnore),
              platform::MessageResult::Retry);
}

// Our own questions are Czech whatever the locale, and neither Return nor Escape says yes.
TEST(WidgetDialogs, OurQuestionsSayAnoOrNeAndDefaultToNe) {
    selvanix::ui::WidgetDialogs dialogs;
    QStringList buttons;
    whenModal([&](QWidget* box) {
        for (auto* b : box->findChildren<QPushButton*>()) {
            buttons << b->text();
        }
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(dialogs.confirm("Potvrzení", "Přesto instalovat?"));
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{"Ano", "Ne"}));
    whenModal([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs.confirm("Potvrzení", "Přesto instalovat?"));
    whenModal([](QWidget* box) {
        for (auto* b : box->findChildren<QPushButton*>()) {
            if (b->text() == u"Ano") {
                b->click();
            }
        }
    });
    EXPECT_TRUE(dialogs.confirm("Potvrzení", "Přesto instalovat?"));
}

// A dialog opens over the middle of the window it speaks for, wherever that window is. Run
// also under a real window manager, which frames the dialog only after it is shown.
TEST(WidgetDialogs, DialogsOpenCentredOnTheirWindow) {
    QWidget window;
    window.setGeometry(100, 50, 600, 380);  // off the screen's centre, with room around
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // As under a window manager that has not activated it yet: no active window to own them.
    QApplication::setActiveWindow(nullptr);
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    selvanix::ui::WidgetDialogs dialogs;
    QPoint centre;
    const auto closeAndRemember = [&](QWidget* dialog) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        centre = frameOnScreen(*dialog).center();
        dialog->close();
    };
    whenModal(closeAndRemember);
    dialogs.message("c", "a question", platform::MessageIcon::Warning,
                    platform::MessageButtons::YesNo);
    EXPECT_LE((centre - frameOnScreen(window).center()).manhattanLength(), 4) << "message";
    whenModal(closeAndRemember);
    dialogs.browseFolder("Vyberte složku", QString());
    EXPECT_LE((centre - frameOnScreen(window).center()).manhattanLength(), 4) << "folders";
    whenModal(closeAndRemember);
    dialogs.password("Password", "Enter password: ", 10);
    EXPECT_LE((centre - frameOnScreen(window).center()).manhattanLength(), 4) << "password";
}

// The folder browser opens where the field points, or in the installer's folder; under a
// Czech locale it speaks Czech.
TEST(WidgetDialogs, FolderBrowserStartsAtTheFieldsFolderInCzech) {
    QTemporaryDir own;
    QDir().mkpath(own.path() + QStringLiteral("/A/B"));
    platform::setInstallerFolder(own.path() + u'/');
    EXPECT_EQ(selvanix::ui::browseStart(QString()), own.path() + u'/');
    EXPECT_EQ(selvanix::ui::browseStart(own.path() + QStringLiteral("\\A\\B")),
              own.path() + QStringLiteral("/A/B"));
    EXPECT_EQ(selvanix::ui::browseStart(own.path() + QStringLiteral("/A/gone/deeper")),
              own.path() + QStringLiteral("/A"));
    EXPECT_EQ(selvanix::ui::browseStart(QStringLiteral("Q:\\nowhere")), own.path() + u'/');

    const QString qm = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_cs.qm";
    if (!QFileInfo::exists(qm)) {
        platform::setInstallerFolder(QString());
        GTEST_SKIP() << "Qt's Czech translations are not installed";
    }
    EXPECT_EQ(selvanix::ui::installToolkitTranslations(*qApp, QLocale(QLocale::English)), nullptr);
    QTranslator* czech =
        selvanix::ui::installToolkitTranslations(*qApp, QLocale(QLocale::Czech, QLocale::Czechia));
    ASSERT_NE(czech, nullptr);
    selvanix::ui::WidgetDialogs dialogs;
    whenModal([&](QWidget* modal) {
        auto* browser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->directory().absolutePath(), own.path() + QStringLiteral("/A/B"));
        QStringList texts;
        for (const QLabel* label : browser->findChildren<QLabel*>()) {
            texts << label->text();
        }
        for (const QAbstractButton* button : browser->findChildren<QPushButton*>()) {
            texts << button->text();
        }
        EXPECT_FALSE(texts.contains(QStringLiteral("Look in:"))) << texts.join(u'|').toStdString();
        EXPECT_FALSE(texts.contains(QStringLiteral("Cancel"))) << texts.join(u'|').toStdString();
        EXPECT_TRUE(texts.contains(QStringLiteral("Zrušit"))) << texts.join(u'|').toStdString();
        browser->reject();
    });
    EXPECT_FALSE(dialogs.browseFolder(QStringLiteral("Vyberte adresář"),
                                      own.path() + QStringLiteral("\\A\\B")));
    QCoreApplication::removeTranslator(czech);
    delete czech;
    platform::setInstallerFolder(QString());
}

}  // namespace
