#include "InteractiveDownload.h"

#include "DownloadWindow.h"
#include "net/WebHTTPGet.h"

namespace selvanix::dlwindow {

bool InteractiveDownload::InteractiveProcess(net::WebHTTPGet& get) {
    get.List().ClearState();
    DownloadWindow window(owner_);
    window.DL = &get.List();
    if (!get.Caption.isEmpty()) {
        window.setWindowTitle(get.Caption);
    }
    if (OnCustomizeForm) {
        OnCustomizeForm(get, window);
    }
    window.SetHandlers();
    get.Process(true, false);
    return window.exec() == mrOk;
}

}  // namespace selvanix::dlwindow
