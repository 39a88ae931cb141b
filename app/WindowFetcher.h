#pragma once

#include "dlwindow/InteractiveDownload.h"
#include "engine/Fetcher.h"

namespace selvanix {

// The window's fetches, each shown in the modal download window, which offers Cancel.
class WindowFetcher final : public HttpFetcher {
public:
    WindowFetcher(net::WebHTTPGet& get, dlwindow::InteractiveDownload& downloads)
        : HttpFetcher(get), downloads_(downloads) {}

protected:
    bool transfer(net::WebHTTPGet& get) override { return downloads_.InteractiveProcess(get); }

private:
    dlwindow::InteractiveDownload& downloads_;
};

}  // namespace selvanix
