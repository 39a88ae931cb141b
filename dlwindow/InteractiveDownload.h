#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace selvanix::net {
class WebHTTPGet;
}

namespace selvanix::dlwindow {

class DownloadWindow;

// Runs a download behind the modal download window, which shows it and offers Cancel.
class InteractiveDownload {
public:
    explicit InteractiveDownload(QWidget* owner = nullptr) : owner_(owner) {}

    // Called with the window before it is shown.
    std::function<void(net::WebHTTPGet&, DownloadWindow&)> OnCustomizeForm;

    // Shows the download window until the run has ended; false after Cancel.
    bool InteractiveProcess(net::WebHTTPGet& get);

private:
    QWidget* owner_;
};

}  // namespace selvanix::dlwindow
