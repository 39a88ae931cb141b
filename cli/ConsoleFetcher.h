#pragma once

#include "engine/Fetcher.h"
#include "net/WebHTTPGet.h"

#include <atomic>

namespace selvanix::cli {

// A command's fetches: the transfer runs on the list's threads while the command's thread
// serves their notifications (the progress it prints); a stop signal cancels it.
class ConsoleFetcher final : public HttpFetcher {
public:
    ConsoleFetcher(net::WebHTTPGet& get, const std::atomic<bool>& stopped)
        : HttpFetcher(get), stopped_(stopped) {}

protected:
    bool transfer(net::WebHTTPGet& get) override {
        if (stopped_.load()) {
            return false;
        }
        get.Process(false, true);
        get.List().WaitForEnd();
        return !stopped_.load();
    }

private:
    const std::atomic<bool>& stopped_;
};

}  // namespace selvanix::cli
