// Renders the installer's two screens and the download window to PNG files, for looking at the
// window without a display: selvanix-screenshot OUTDIR
#include "ProductPictures.h"
#include "TFrDRozbal.h"
#include "net/CopyAnimation.h"
#include "net/DownloadWindow.h"
#include "platform/FileOps.h"
#include "ui/Application.h"
#include "ui/Label3D.h"
#include "ui/ListImage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

namespace {

bool save(const QImage& image, const QString& path) {
    if (image.save(path)) {
        return true;
    }
    std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    selvanix::ui::Application app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: selvanix-screenshot OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    // A clean installer folder, so the first screen shows the defaults.
    QTemporaryDir folder;
    selvanix::platform::setInstallerFolder(folder.path());

    selvanix::TFrDRozbal window;
    window.show();
    app.processEvents();
    const QString first = out + QStringLiteral("/first-screen.png");
    if (!save(window.grab().toImage(), first)) {
        return 1;
    }

    QFile descriptor(folder.path() + QStringLiteral("/brodelik.ini"));
    if (!descriptor.open(QIODevice::WriteOnly)) {
        return 1;
    }
    descriptor.write("\xEF\xBB\xBF");
    descriptor.write(QStringLiteral("[DEFINICE]\r\nhledany=brodelik.exe\r\n"
                                    "nazev=Brodělík\r\nverze=14,20\r\ndatum=12.5.2023\r\n"
                                    "run=brodelik.exe\r\n")
                         .toUtf8());
    descriptor.close();
    window.PanUvod->hide();
    window.PanStart->show();
    window.ImPanStart->setListIndex(0);
    window.ImPaninst->setListIndex(0);
    window.state.Cestaini = folder.path() + QStringLiteral("/brodelik.ini");
    window.JedenINI();
    app.processEvents();
    const QString run = out + QStringLiteral("/run-screen.png");
    if (!save(window.grab().toImage(), run)) {
        return 1;
    }
    // The seven product pictures side by side.
    QImage strip(7 * selvanix::kPictureSize, selvanix::kPictureSize, QImage::Format_RGB888);
    QPainter painter(&strip);
    for (int i = 0; i < 7; ++i) {
        painter.drawImage(i * selvanix::kPictureSize, 0, selvanix::productPicture(i));
    }
    painter.end();
    const QString pictures = out + QStringLiteral("/product-pictures.png");
    if (!save(strip, pictures)) {
        return 1;
    }
    // The download window in the middle of a download.
    selvanix::net::DownloadWindow download;
    download.DownloadLabel->setText(
        QStringLiteral("upgrade-brodelik.zip from www.selvanix.example"));
    download.CPSLabel->setText(QStringLiteral("812,40 Kb/s"));
    download.SizeLabel->setText(QStringLiteral("3217,75 Kb"));
    download.ProgressBar->setValue(42);
    download.CopyAnimate->setActive(true);
    download.show();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 500) {
        app.processEvents();
    }
    const QString downloading = out + QStringLiteral("/download-window.png");
    if (!save(download.grab().toImage(), downloading)) {
        return 1;
    }
    std::printf("%s\n%s\n%s\n%s\n", qUtf8Printable(first), qUtf8Printable(run),
                qUtf8Printable(pictures), qUtf8Printable(downloading));
    return 0;
}
