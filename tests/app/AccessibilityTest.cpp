// The window, its boxes and the download window as a screen reader finds them: read over AT-SPI
// by a real client while each screen is up. Run on a display with its own session bus.
#include "InstallFixture.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "dlwindow/DownloadWindow.h"
#include "support/AccessibleTree.h"
#include "ui/Look.h"
#include "ui/WidgetDialogs.h"

namespace selvanix::test {
namespace {

class ScreenReader : public InstallRun {
protected:
    // Real boxes: the reader must find them as a user gets them.
    ScreenReader() { platform::setDialogs(std::make_shared<ui::WidgetDialogs>()); }

    static std::vector<AccessibleNode> read() {
        QString failure;
        std::vector<AccessibleNode> tree = readAccessibleTree(&failure);
        EXPECT_FALSE(tree.empty()) << failure.toStdString();
        return tree;
    }
    static std::string unnamed(const std::vector<AccessibleNode>& tree) {
        return unnamedNodes(tree).join(QStringLiteral(", ")).toStdString();
    }
    // The role of the one showing node with this name, or what was found instead.
    static std::string roleOf(const std::vector<AccessibleNode>& tree, const QString& name) {
        const std::vector<AccessibleNode> found = nodesNamed(tree, name);
        return found.size() == 1 ? found[0].role.toStdString()
                                 : std::to_string(found.size()) + " nodes";
    }
    // Reads the tree once the next box is up, then answers it with button.
    static void readAtNextBox(std::vector<AccessibleNode>& tree,
                              QMessageBox::StandardButton button) {
        QTimer::singleShot(100, qApp, [&tree, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                readAtNextBox(tree, button);
                return;
            }
            tree = read();
            box->button(button)->click();
        });
    }
};

TEST_F(ScreenReader, TheWindowIsAFrameAndTheFirstScreenNamesEveryControl) {
    const auto w = start("program=1\r\nodkud=1\r\n");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    const auto tree = read();
    EXPECT_EQ(roleOf(tree, QStringLiteral("Instalace programu")), "frame");
    EXPECT_EQ(unnamed(tree), "");
    EXPECT_EQ(roleOf(tree, QStringLiteral("Instalovat")), "push button");
}

// A file that cannot be written stops the run with the archiver's box over the run screen.
TEST_F(ScreenReader, TheRunScreenItsFailureBoxAndTheFinalScreen) {
    const QString c = packageOnDiskE(false);
    QDir().mkpath(c + QStringLiteral("/A/brodelik.chm"));
    auto w = start("program=1\r\nodkud=2\r\nkamcestaI=C:\\A\r\n");
    control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
    std::vector<AccessibleNode> atBox;
    readAtNextBox(atBox, QMessageBox::Abort);
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);

    EXPECT_EQ(unnamed(atBox), "");
    EXPECT_EQ(roleOf(atBox, QStringLiteral("Průběh instalace")), "progress bar");
    EXPECT_EQ(roleOf(atBox, QStringLiteral("Prohledané složky")), "progress bar");
    EXPECT_EQ(roleOf(atBox, QStringLiteral("Otázka")), "image");
    EXPECT_EQ(roleOf(atBox, QStringLiteral("Instalace programu")), "frame");

    ASSERT_EQ(control<ui::Label3D>(*w, "LbRadekA")->text(),
              QStringLiteral("Instalace nebyla dokončena."));
    const auto atEnd = read();
    EXPECT_EQ(unnamed(atEnd), "");
    EXPECT_EQ(roleOf(atEnd, QStringLiteral("Konec")), "push button");
    EXPECT_EQ(roleOf(atEnd, QStringLiteral("Instalace nebyla dokončena.")), "label");
}

TEST_F(ScreenReader, TheDownloadWindowAndACancelledDownload) {
    server.route("/brodelik.ini", httpReply(200, descriptor(true)));
    TestReply slow = httpReply(200, QByteArray(400000, 'z'));
    slow.pieceSize = 4000;
    slow.pieceDelayMs = 100;
    server.route("/upgrade-brodelik.zip", slow);
    auto w = start("program=1\r\nodkud=1\r\n");
    std::vector<AccessibleNode> downloading;
    w->downloads().OnCustomizeForm = [&](net::WebHTTPGet& get, dlwindow::DownloadWindow& shown) {
        if (get.URL.endsWith(QLatin1String(".zip"))) {
            QTimer::singleShot(500, &shown, [&downloading, &shown] {
                downloading = read();
                shown.StopBtn->click();
            });
        }
    };
    QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);

    EXPECT_EQ(unnamed(downloading), "");
    EXPECT_EQ(roleOf(downloading, QStringLiteral("Download")), "dialog");
    EXPECT_EQ(roleOf(downloading, QStringLiteral("Cancel")), "push button");
    const auto atEnd = read();
    EXPECT_EQ(unnamed(atEnd), "");
    EXPECT_EQ(roleOf(atEnd, QStringLiteral("Stahování bylo zrušeno.")), "label");
}

TEST_F(ScreenReader, TheFinalScreensOfASuccessAndOfNoTarget) {
    const QString c = packageOnDiskE(false);
    for (const QByteArray& targets : {QByteArray("kamcestaI=C:\\A\r\n"), QByteArray()}) {
        auto w = start("program=1\r\nodkud=2\r\ncilinstalace=" +
                       QByteArray(targets.isEmpty() ? "1" : "0") + "\r\n" + targets);
        control<ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(QStringLiteral("E:\\pkg"));
        QTest::mouseClick(control<ui::BitBtn>(*w, "BtnOK"), Qt::LeftButton);
        const auto tree = read();
        EXPECT_EQ(unnamed(tree), "") << targets.toStdString();
        EXPECT_EQ(roleOf(tree, control<ui::Label3D>(*w, "LbRadekA")->text()), "label");
        EXPECT_EQ(roleOf(tree, QStringLiteral("Konec")), "push button");
    }
}

}  // namespace
}  // namespace selvanix::test

int main(int argc, char** argv) {
    const QTemporaryDir config;  // Qt's own settings, not the user's
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    // Served to AT-SPI clients whether or not the desktop asked for assistive technology.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    selvanix::ui::installFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
