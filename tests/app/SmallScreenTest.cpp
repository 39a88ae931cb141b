// The window on a 1280x800 screen at twice the scale, which leaves it 640x400 of its 390x530:
// it stays on the screen, and every control can still be reached with the keyboard and seen.
#include "WindowFixture.h"

#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>

#include "ui/Look.h"

namespace selvanix::test {
namespace {

class SmallScreen : public WindowFixture {
protected:
    // Whether the control lies whole in the part of the window the screen shows.
    static bool inView(const TFrDRozbal& w, const QWidget* control) {
        const QWidget* viewport = selvanix::test::control<QScrollArea>(w, "ScrollView")->viewport();
        if (!viewport->isAncestorOf(control)) {
            return false;
        }
        const QRect shown(control->mapTo(viewport, QPoint(0, 0)), control->size());
        return viewport->rect().contains(shown);
    }
};

TEST_F(SmallScreen, TheWindowStaysOnTheScreenAndEveryControlCanBeReached) {
    writeSettings("program=1\r\nodkud=2\r\ncilinstalace=0\r\n");
    const auto w = open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    const QRect room = w->screen()->availableGeometry();
    ASSERT_EQ(room.size(), QSize(640, 400)) << "the screen this test is about";
    EXPECT_TRUE(room.contains(w->frameGeometry()));
    // The screens keep their look inside; only the window is cut and scrolls.
    EXPECT_EQ(control<QWidget>(*w, "PanContent")->size() + (w->frameGeometry().size() - w->size()),
              w->outerSize());
    EXPECT_LT(w->height(), control<QWidget>(*w, "PanContent")->height());
    // Cut in height only: it scrolls up and down, never sideways.
    const auto* scroll = control<QScrollArea>(*w, "ScrollView");
    EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());

    // Tab goes round every control, each scrolled into view as it takes the focus.
    QSet<QString> reached;
    for (int i = 0; i < 60; ++i) {
        ASSERT_NE(w->focusWidget(), nullptr);
        QTest::keyClick(w->focusWidget(), Qt::Key_Tab);
        const QWidget* focused = w->focusWidget();
        EXPECT_TRUE(inView(*w, focused)) << focused->objectName().toStdString();
        reached << focused->objectName();
    }
    for (const char* name : {"EdOdkudCesta", "EdKamCestaI", "EdKamCestaX", "BtnOK", "BtnStorno",
                             "BtnAktual", "CbKoukani", "CbAutomaticky"}) {
        EXPECT_TRUE(reached.contains(QLatin1String(name))) << name;
    }

    // A final screen: its headline is seen, and Konec has the focus and is in view, so Return
    // ends the program.
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
    const auto* konec = control<QPushButton>(*w, "BtnKonec");
    ASSERT_TRUE(konec->isVisible());
    ASSERT_EQ(w->focusWidget(), konec);
    EXPECT_TRUE(inView(*w, konec));
    EXPECT_TRUE(inView(*w, control<QWidget>(*w, "LbRadekA")));
    EXPECT_TRUE(inView(*w, control<QWidget>(*w, "LbRadekB")));
    EXPECT_TRUE(room.contains(w->frameGeometry()));
    QTest::keyClick(w->focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(w->isVisible());
}

}  // namespace
}  // namespace selvanix::test

int main(int argc, char** argv) {
    const QTemporaryDir config;  // Qt's own settings, not the user's
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    // Under a real window manager the display is that screen; offscreen, it is made one.
    if (qgetenv("QT_QPA_PLATFORM") != "xcb") {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" SELVANIX_SMALL_SCREEN);
    }
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    selvanix::ui::installFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
