#pragma once

#include <QDialog>
#include <functional>

#include "net/DownloadList.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace selvanix::dlwindow {

class CopyAnimation;

// The window's modal results.
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// The modal window of one download run: starts the run when shown, shows its progress,
// offers Cancel, and closes itself when the run has ended.
class DownloadWindow : public QDialog {
    Q_OBJECT
public:
    using ProcessedHandler = std::function<void(DownloadWindow&)>;

    explicit DownloadWindow(QWidget* parent = nullptr);
    ~DownloadWindow() override;

    net::DownloadList* DL = nullptr;
    int ProgressLen = 100;
    int ProgressStart = 0;
    int FormResult = mrOk;

    void SetAutoClose(bool autoClose) { FAutoClose = autoClose; }
    void SetOnProcessed(ProcessedHandler handler) { FOnProcessed = std::move(handler); }
    void SetHandlers();
    void Start();
    void Stop();
    void UpdateBtn();
    void DownloadProgress(net::DownloadItem& item);
    void DownloadProcessed(net::DownloadList& list);
    void StopBtnClick();
    void CloseBtnClick();
    bool Running() const { return running_; }
    // Shows the file and the server of a download address in DownloadLabel.
    void showFile(const QString& url);

    CopyAnimation* CopyAnimate;
    QLabel* Label1;
    QLabel* DownloadLabel;
    QProgressBar* ProgressBar;
    QLabel* TransferLabel;
    QLabel* CPSLabel;
    QLabel* Label2;
    QLabel* SizeLabel;
    QPushButton* CloseBtn;
    QPushButton* StopBtn;

public slots:
    void reject() override;  // Escape and close requests

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormClose();
    void SendProcessed();

    bool FAutoClose = true;
    bool running_ = false;
    bool handlersInstalled_ = false;
    ProcessedHandler FOnProcessed;
    net::DownloadList::ProgressHandler FOldProgress;
    net::DownloadList::ProcessedHandler FOldProcessed;
};

// "0.00" with the user's decimal separator.
QString formatKilobytes(double kilobytes);

}  // namespace selvanix::dlwindow
