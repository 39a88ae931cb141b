// Every screen of a run as the user first sees it: each paint of the run screen equals the same
// screen laid out, no screen scrolls sideways, and a final screen shows its headline and Konec.
// Run under a window manager on a 1280x800 display at scale 1 and 2.
#include "InstallFixture.h"

#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include "ui/Look.h"

namespace selvanix::test {
namespace {

// Where two pictures of the window differ: empty when they are the same.
QRect differingArea(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return a.rect() | b.rect();
    }
    QRect area;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

// Watches every paint of the run screen: the window is grabbed as the paint is about to happen
// and again once every pending layout is done, as the event loop does before it paints.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(TFrDRozbal& w)
        : w_(w),
          screen_(control<QWidget>(w, "PanStart")),
          scroll_(control<QScrollArea>(w, "ScrollView")) {
        qApp->installEventFilter(this);
    }
    ~PaintWatch() override { qApp->removeEventFilter(this); }
    PaintWatch(const PaintWatch&) = delete;
    PaintWatch& operator=(const PaintWatch&) = delete;

    // Each screen, by its headline, painted before it was laid out, and where it differed.
    QStringList halfLaidOut;
    QStringList scrolledAcross;  // the headlines of screens shown with a horizontal scroll bar
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A paint of the window starts with this request, sent at once by repaint(). The first
        // screen is painted only by the event loop.
        if (event->type() != QEvent::UpdateRequest || watched != &w_ || busy_ ||
            screen_->isHidden()) {
            return false;
        }
        busy_ = true;
        ++paints;
        const QString headline = control<ui::Label3D>(w_, "LbRadekA")->text();
        const QImage painted = w_.grab().toImage();
        const bool across = scroll_->horizontalScrollBar()->isVisible();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QRect differs = differingArea(painted, w_.grab().toImage());
        if (!differs.isEmpty()) {
            halfLaidOut << QStringLiteral("%1 at %2,%3 %4x%5")
                               .arg(headline)
                               .arg(differs.x())
                               .arg(differs.y())
                               .arg(differs.width())
                               .arg(differs.height());
        }
        if ((across || scroll_->horizontalScrollBar()->isVisible()) &&
            !scrolledAcross.contains(headline)) {
            scrolledAcross << headline;
        }
        busy_ = false;
        return false;
    }

private:
    TFrDRozbal& w_;
    QWidget* screen_;
    QScrollArea* scroll_;
    bool busy_ = false;
};

class ScreenPaint : public InstallRun {
protected:
    // A package on E:\pkg large enough to be extracted in many steps, and an empty folder A on C:.
    void largePackageOnDiskE() {
        QDir().mkpath(drives.add(u'C') + QStringLiteral("/A"));
        const QString e = drives.add(u'E');
        std::vector<ZipEntry> extra;
        for (int i = 0; i < 40; ++i) {
            ZipEntry entry;
            entry.name = "data/part" + QByteArray::number(i) + ".dat";
            entry.data = QByteArray(256 * 1024, static_cast<char>('a' + i % 26));
            extra.push_back(entry);
        }
        writeBytes(e + QStringLiteral("/pkg/brodelik.ini"), descriptor(false));
        writeBytes(e + QStringLiteral("/pkg/upgrade-brodelik.zip"), packageArchive(extra));
    }

    // Runs from the package folder with these settings, which shows screens painted at least
    // paints times; returns the final screen's headline.
    std::string run(const QByteArray& definice, const QString& packageFolder, int paints) {
        auto w = start(definice);
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(packageFolder);
        QTest::qWait(50);
        {
            const PaintWatch watch(*w);
            QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
            EXPECT_GE(watch.paints, paints);
            EXPECT_EQ(watch.halfLaidOut.join(u'|').toStdString(), "");
            EXPECT_EQ(watch.scrolledAcross.join(u'|').toStdString(), "");
        }
        expectFinalScreenSeen(*w);
        // Once the window manager has given the window its size, the screens fill it.
        const QWidget* viewport = control<QScrollArea>(*w, "ScrollView")->viewport();
        const QWidget* content = control<QWidget>(*w, "PanContent");
        EXPECT_TRUE(QTest::qWaitFor([&] { return content->width() == viewport->width(); }));
        EXPECT_EQ(content->width(), viewport->width());
        EXPECT_FALSE(control<QScrollArea>(*w, "ScrollView")->horizontalScrollBar()->isVisible());
        expectFinalScreenSeen(*w);
        return control<ui::Label3D>(*w, "LbRadekA")->text().toStdString();
    }

    // The headline and Konec lie whole in the part of the window the screen shows, and Konec
    // has the focus.
    static void expectFinalScreenSeen(const TFrDRozbal& w) {
        const QWidget* viewport = control<QScrollArea>(w, "ScrollView")->viewport();
        for (const char* name : {"LbRadekA", "LbRadekB", "BtnKonec"}) {
            const auto* shown = control<QWidget>(w, name);
            EXPECT_TRUE(viewport->rect().contains(
                QRect(shown->mapTo(viewport, QPoint(0, 0)), shown->size())))
                << name;
        }
        EXPECT_EQ(w.focusWidget(), control<QWidget>(w, "BtnKonec"));
    }
};

TEST_F(ScreenPaint, AnInstallation) {
    largePackageOnDiskE();
    // Preparing, the package, each file extracted and the outcome.
    EXPECT_EQ(run("program=1\r\nodkud=2\r\ncilinstalace=0\r\nkamcestaI=C:\\A\r\n",
                  QStringLiteral("E:\\pkg"), 10),
              "Instalace byla dokončena.");
}

TEST_F(ScreenPaint, NoTarget) {
    largePackageOnDiskE();
    // The drives searched in vain; the outcome takes four lines and a reason.
    EXPECT_EQ(run("program=1\r\nodkud=2\r\ncilinstalace=1\r\n", QStringLiteral("E:\\pkg"), 3),
              "Chyba Instalace");
}

TEST_F(ScreenPaint, ATargetThatIsNotThere) {
    largePackageOnDiskE();
    EXPECT_EQ(run("program=1\r\nodkud=2\r\ncilinstalace=0\r\nkamcestaI=C:\\gone\r\n",
                  QStringLiteral("E:\\pkg"), 2),
              "Instalace nebyla dokončena.");
}

TEST_F(ScreenPaint, NoPackageInTheFolder) {
    largePackageOnDiskE();
    EXPECT_FALSE(run("program=1\r\nodkud=2\r\ncilinstalace=0\r\nkamcestaI=C:\\A\r\n",
                     QStringLiteral("C:\\A"), 1)
                     .empty());
}

}  // namespace
}  // namespace selvanix::test

int main(int argc, char** argv) {
    const QTemporaryDir config;  // Qt's own settings, not the user's
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    selvanix::ui::installFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
