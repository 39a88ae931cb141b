#include "DownloadWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <cmath>

#include "CopyAnimation.h"
#include "net/UrlParts.h"

namespace selvanix::dlwindow {

namespace {

// The label keeps its specified size; a text wider than it gets a smaller font, a pixel at a
// time, rather than losing its end.
QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    QFont font = parent->font();
    while (QFontMetrics(font).horizontalAdvance(text) > w && font.pixelSize() > 8) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    l->setFont(font);
    return l;
}

}  // namespace

QString formatKilobytes(double kilobytes) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(kilobytes, 'f', 2);
}

DownloadWindow::DownloadWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    // Only a title: desktops that honour the window's hints draw no minimise, maximise or close
    // box; a fixed size takes maximise away on the others too.
    setObjectName(QStringLiteral("DownloadWindow"));
    setWindowTitle(QStringLiteral("Download"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(361, 168);

    CopyAnimate = new CopyAnimation(this);
    CopyAnimate->setGeometry(9, 8, 346, 56);
    Label1 = label(this, QStringLiteral("Download:"), 10, 67, 51, 13);
    DownloadLabel = label(this, QString(), 90, 67, 266, 13);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setGeometry(9, 86, 345, 11);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setAccessibleName(QStringLiteral("Download progress"));
    TransferLabel = label(this, QStringLiteral("Transfer rate:"), 9, 103, 68, 13);
    CPSLabel = label(this, QString(), 100, 103, 143, 13);
    Label2 = label(this, QStringLiteral("Total size:"), 9, 119, 49, 13);
    SizeLabel = label(this, QString(), 100, 119, 143, 13);
    CloseBtn = new QPushButton(QStringLiteral("&Close"), this);
    CloseBtn->setGeometry(191, 137, 77, 24);
    StopBtn = new QPushButton(QStringLiteral("Cancel"), this);
    StopBtn->setGeometry(275, 137, 80, 24);
    CopyAnimate->setObjectName(QStringLiteral("CopyAnimate"));
    Label1->setObjectName(QStringLiteral("Label1"));
    DownloadLabel->setObjectName(QStringLiteral("DownloadLabel"));
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    TransferLabel->setObjectName(QStringLiteral("TransferLabel"));
    CPSLabel->setObjectName(QStringLiteral("CPSLabel"));
    Label2->setObjectName(QStringLiteral("Label2"));
    SizeLabel->setObjectName(QStringLiteral("SizeLabel"));
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    StopBtn->setObjectName(QStringLiteral("StopBtn"));
    setTabOrder(StopBtn, ProgressBar);
    setTabOrder(ProgressBar, CloseBtn);
    CopyAnimate->raise();
    connect(StopBtn, &QPushButton::clicked, this, [this] { StopBtnClick(); });
    connect(CloseBtn, &QPushButton::clicked, this, [this] { CloseBtnClick(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

DownloadWindow::~DownloadWindow() {
    FormClose();
}

void DownloadWindow::SetHandlers() {
    FOldProgress = DL->OnProgress();
    FOldProcessed = DL->OnProcessed();
    DL->SetOnProgress([this](net::DownloadItem& item) { DownloadProgress(item); });
    DL->SetOnProcessed([this](net::DownloadList& list) { DownloadProcessed(list); });
    handlersInstalled_ = true;
}

void DownloadWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        Start();
    }
}

void DownloadWindow::Start() {
    FormResult = mrOk;
    CopyAnimate->setActive(true);
    StopBtn->setEnabled(true);
    running_ = true;
    if (DL) {
        DL->FServerThreads = 1;
        DL->ThreadProcess();
    }
    UpdateBtn();
}

void DownloadWindow::Stop() {
    if (DL) {
        DL->Terminate();
    }
}

void DownloadWindow::UpdateBtn() {
    const net::DownloadState state = DL ? DL->State() : net::DS_NONE;
    CloseBtn->setEnabled(state == net::DS_PROCESSED || state == net::DS_ERROR);
    StopBtn->setEnabled(!CloseBtn->isEnabled());
}

void DownloadWindow::DownloadProgress(net::DownloadItem& item) {
    if (FOldProgress) {
        FOldProgress(item);
    }
    long long total = 0;
    long long done = 0;
    for (int i = 0; i < DL->Count(); ++i) {
        const net::DownloadItem& each = DL->Item(i);
        total += 100;
        const net::DownloadState state = each.State();
        if (state == net::DS_PROCESSING || state == net::DS_PROCESSED) {
            done += each.Progress();
        } else if (state == net::DS_ERROR) {
            done += 100;
        }
    }
    showFile(item.Request().url);
    CPSLabel->setText(formatKilobytes(static_cast<double>(DL->GetCPS()) / 1024.0) +
                      QStringLiteral(" Kb/s"));
    SizeLabel->setText(formatKilobytes(static_cast<double>(DL->AllSize()) / 1024.0) +
                       QStringLiteral(" Kb"));
    if (total > 0) {
        ProgressBar->setValue(
            static_cast<int>(std::nearbyint(static_cast<double>(ProgressLen) * done / total)) +
            ProgressStart);
    }
}

void DownloadWindow::showFile(const QString& url) {
    const QString host = net::crackUrl(url).value_or(net::UrlParts{}).host;
    const QString text = net::urlFileName(url) + QStringLiteral(" from ") + host;
    if (text != DownloadLabel->toolTip()) {
        // A long name is shortened in the middle, whole in the tooltip.
        DownloadLabel->setToolTip(text);
        DownloadLabel->setText(
            DownloadLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, DownloadLabel->width()));
    }
}

void DownloadWindow::DownloadProcessed(net::DownloadList& list) {
    running_ = false;
    UpdateBtn();
    ProgressStart += ProgressLen;
    ProgressBar->setValue(ProgressStart);
    CopyAnimate->setActive(false);
    ProgressBar->setValue(100);
    const net::DownloadList::ProcessedHandler old = FOldProcessed;
    if (FOnProcessed && FormResult == mrOk) {
        QMetaObject::invokeMethod(
            this, [this] { SendProcessed(); }, Qt::QueuedConnection);
    } else if (FAutoClose) {
        close();
    }
    if (old) {
        old(list);
    }
}

void DownloadWindow::SendProcessed() {
    DL->WaitForEnd();
    if (FOnProcessed) {
        FOnProcessed(*this);
    }
}

void DownloadWindow::StopBtnClick() {
    FormResult = mrCancel;
    StopBtn->setEnabled(false);
    Stop();
}

void DownloadWindow::CloseBtnClick() {
    close();
}

void DownloadWindow::reject() {
    close();
}

void DownloadWindow::closeEvent(QCloseEvent* event) {
    // A run cannot be left behind: a close request while it lasts is taken as Cancel, and the
    // window closes itself once the stopped run has ended.
    if (running_) {
        if (StopBtn->isEnabled()) {
            StopBtnClick();
        }
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    done(FormResult);
}

void DownloadWindow::FormClose() {
    CopyAnimate->setActive(false);
    if (handlersInstalled_ && DL) {
        DL->SetOnProgress(FOldProgress);
        DL->SetOnProcessed(FOldProcessed);
        handlersInstalled_ = false;
    }
}

}  // namespace selvanix::dlwindow
