// Renders the installer's screens to PNG files, for looking at the window without a display:
//   selvanix-screenshot OUTDIR [PACKAGE BASEURL DOWNURL]
// Without arguments beyond OUTDIR: the first screen, the run screen, the product pictures and
// the download window. With PACKAGE (a folder holding brodelik.ini and upgrade-brodelik.zip)
// and BASEURL (a download server holding brodelik.ini but no archive, and pesmarin.ini with an
// archive that arrives slowly) and DOWNURL (an address nothing answers on) also the final
// screens of real runs and their failures.
#include "ProductPictures.h"
#include "TFrDRozbal.h"
#include "dlwindow/CopyAnimation.h"
#include "dlwindow/DownloadWindow.h"
#include "platform/Dialogs.h"
#include "platform/FileOps.h"
#include "platform/ShellOpen.h"
#include "ui/Application.h"
#include "ui/BitBtn.h"
#include "ui/DirectoryEdit.h"
#include "ui/Label3D.h"
#include "ui/ListImage.h"
#include "ui/RadioGroup.h"
#include "ui/WidgetDialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

// A control of the window by its name, as the tests find it.
template <typename W>
W* control(const QWidget& window, const char* name) {
    return window.findChild<W*>(QString::fromLatin1(name));
}

selvanix::ui::DirectoryEdit* targetField(const QWidget& window, int index) {
    return control<selvanix::ui::DirectoryEdit>(
        window, selvanix::TFrDRozbal::targetRowName("EdKamCesta", index).constData());
}

using selvanix::TFrDRozbal;

class Shots {
public:
    explicit Shots(QString out) : out_(std::move(out)) {}

    bool save(const QImage& image, const char* name) {
        const QString path = out_ + u'/' + QLatin1String(name) + QStringLiteral(".png");
        if (!image.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(path));
            ok_ = false;
            return false;
        }
        std::printf("%s\n", qUtf8Printable(path));
        return true;
    }
    bool save(QWidget* widget, const char* name) { return save(widget->grab().toImage(), name); }
    bool ok() const { return ok_; }

private:
    QString out_;
    bool ok_ = true;
};

class NotingShell : public selvanix::platform::Shell {
public:
    int open(const selvanix::platform::ShellRequest& request) noexcept override {
        std::fprintf(stderr, "shell asked to open %s\n", qUtf8Printable(request.file));
        return selvanix::platform::SHELL_OPEN_OK;
    }
};

void settle(int ms = 50) {
    QElapsedTimer clock;
    clock.start();
    do {
        QApplication::processEvents();
    } while (clock.elapsed() < ms);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A window of a fresh start with these settings beside the program.
std::unique_ptr<TFrDRozbal> started(const QString& ownFolder, const QByteArray& definice,
                                    const QString& baseUrl) {
    writeFile(ownFolder + QStringLiteral("upgrade.kac"), "[DEFINICE]\r\n" + definice);
    auto window = std::make_unique<TFrDRozbal>();
    window->setServer(baseUrl);
    window->setPublisherKey(QString());  // the demo packages here are not signed
    window->show();
    settle();
    return window;
}

void install(TFrDRozbal& window) {
    control<selvanix::ui::BitBtn>(window, "BtnOK")->click();
    settle();
}

// The standard error report, shown for real and pictured while it is up. It is looked for
// until it comes, and never after the window is gone.
void pictureNextReport(Shots& shots, QWidget* window, const char* name, int tries = 200) {
    QTimer::singleShot(50, window, [&shots, window, name, tries] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) {
            if (tries > 0) {
                pictureNextReport(shots, window, name, tries - 1);
            } else {
                std::fprintf(stderr, "no report was shown for %s\n", name);
            }
            return;
        }
        QTimer::singleShot(250, box, [&shots, window, box, name] {
            QImage both(window->width() + box->width() + 10,
                        std::max(window->height(), box->height()), QImage::Format_RGB32);
            both.fill(Qt::darkGray);
            QPainter painter(&both);
            painter.drawImage(0, 0, window->grab().toImage());
            painter.drawImage(window->width() + 10, 0, box->grab().toImage());
            painter.end();
            shots.save(both, name);
            box->close();
        });
    });
}

void runScreens(Shots& shots, const QString& own, const QString& package, const QString& baseUrl,
                const QString& down) {
    const QByteArray fromDisk = "program=1\r\nodkud=2\r\ncilinstalace=0\r\n";
    QTemporaryDir targets;
    QDir().mkpath(targets.path() + QStringLiteral("/A"));
    QDir().mkpath(targets.path() + QStringLiteral("/B"));
    {
        auto w = started(own,
                         fromDisk + "kamcestaI=" + targets.path().toUtf8() +
                             "/A\r\nkamcestaII=" + targets.path().toUtf8() + "/B\r\n",
                         baseUrl);
        control<selvanix::ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(package);
        install(*w);
        shots.save(w.get(), "final-success");
    }
    {
        auto w = started(own, fromDisk, baseUrl);
        control<selvanix::ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(package);
        targetField(*w, 0)->clear();
        install(*w);
        shots.save(w.get(), "final-no-target");
    }
    {
        auto w = started(own, fromDisk, baseUrl);
        control<selvanix::ui::DirectoryEdit>(*w, "EdOdkudCesta")
            ->setText(targets.path() + QStringLiteral("/A"));
        install(*w);
        shots.save(w.get(), "final-no-package-folder");
    }
    {
        auto w = started(own, "program=1\r\nodkud=1\r\n", baseUrl);
        install(*w);
        shots.save(w.get(), "final-no-package-404");
    }
    {
        auto w = started(own, "program=1\r\nodkud=1\r\n", down);
        install(*w);
        shots.save(w.get(), "final-no-package-server-down");
    }
    {
        // The download window mid-download, pictured, then cancelled.
        auto w = started(own, "program=2\r\nodkud=1\r\n", baseUrl);
        w->downloads().OnCustomizeForm = [&shots](selvanix::net::WebHTTPGet& get,
                                                  selvanix::dlwindow::DownloadWindow& shown) {
            if (!get.URL.endsWith(QLatin1String(".zip"))) {
                return;
            }
            QTimer::singleShot(2500, &shown, [&shots, &shown] {
                shots.save(&shown, "download-window-live");
                shown.StopBtn->click();
            });
        };
        install(*w);
        shots.save(w.get(), "final-no-package-cancelled");
    }
    {
        // A target that is not there: the run stops before any target changes and says why.
        auto w =
            started(own, fromDisk + "kamcestaI=" + targets.path().toUtf8() + "/gone\r\n", baseUrl);
        control<selvanix::ui::DirectoryEdit>(*w, "EdOdkudCesta")->setText(package);
        install(*w);
        shots.save(w.get(), "final-target-missing");
    }
    {
        auto w = started(own, "program=1\r\nodkud=1\r\n", down);
        pictureNextReport(shots, w.get(), "upgrade-report");
        control<selvanix::ui::BitBtn>(*w, "BtnAktual")->click();
        settle();
    }
}

}  // namespace

int main(int argc, char** argv) {
    selvanix::ui::Application app(argc, argv);
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: selvanix-screenshot OUTDIR [PACKAGE BASEURL DOWNURL]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    Shots shots(out);
    // A clean installer folder, so the first screen shows the defaults.
    QTemporaryDir folder;
    const QString own = folder.path() + u'/';
    selvanix::platform::setInstallerFolder(own);
    // Nothing the runs start is run: the shell only notes what it was asked.
    selvanix::platform::setShell(std::make_shared<NotingShell>());

    {
        TFrDRozbal window;
        window.show();
        settle();
        shots.save(&window, "first-screen");
        control<selvanix::ui::RadioGroup>(window, "RgZdroj")->button(1)->click();
        settle();
        shots.save(&window, "first-screen-changed");
    }

    TFrDRozbal window;
    window.show();
    settle();
    writeFile(own + QStringLiteral("brodelik.ini"),
              "\xEF\xBB\xBF" + QStringLiteral("[DEFINICE]\r\nhledany=brodelik.exe\r\n"
                                              "nazev=Brodělík\r\nverze=14,20\r\n"
                                              "datum=12.5.2023\r\nrun=brodelik.exe\r\n")
                                   .toUtf8());
    control<QWidget>(window, "PanUvod")->hide();
    control<QWidget>(window, "PanStart")->show();
    control<selvanix::ui::ListImage>(window, "ImPanStart")->setListIndex(0);
    control<selvanix::ui::ListImage>(window, "ImPaninst")->setListIndex(0);
    window.showDescriptorFile(own + QStringLiteral("brodelik.ini"));
    settle();
    shots.save(&window, "run-screen");
    window.close();

    // The seven product pictures side by side.
    QImage strip(7 * selvanix::kPictureSize, selvanix::kPictureSize, QImage::Format_RGB888);
    QPainter painter(&strip);
    for (int i = 0; i < 7; ++i) {
        painter.drawImage(i * selvanix::kPictureSize, 0, selvanix::productPicture(i));
    }
    painter.end();
    shots.save(strip, "product-pictures");

    // The download window in the middle of a download.
    selvanix::dlwindow::DownloadWindow download;
    download.showFile(QStringLiteral("https://www.selvanix.example/upgrade-brodelik.zip"));
    download.CPSLabel->setText(QStringLiteral("812,40 Kb/s"));
    download.SizeLabel->setText(QStringLiteral("3217,75 Kb"));
    download.ProgressBar->setValue(42);
    download.CopyAnimate->setActive(true);
    download.show();
    settle(500);
    shots.save(&download, "download-window");
    download.CopyAnimate->setActive(false);
    download.hide();

    if (argc == 5) {
        runScreens(shots, own, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                   QString::fromLocal8Bit(argv[4]));
    }
    return shots.ok() ? 0 : 1;
}
