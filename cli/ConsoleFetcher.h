#pragma once

#include "engine/Fetcher.h"
#include "net/WebHTTPGet.h"

#include <atomic>

namespace selvanix::cli {

// A command's fetches, run where the command runs; a stop signal cancels the one under way.
class ConsoleFetcher final : public HttpFetcher {
public:
    ConsoleFetcher(net::WebHTTPGet& get, const std::atomic<bool>& stopped)
        : HttpFetcher(get), stopped_(stopped) {}

protected:
    bool transfer(net::WebHTTPGet& get) override {
        if (stopped_.load()) {
            return false;
        }
        get.Process(false, false);
        return !stopped_.load();
    }

private:
    const std::atomic<bool>& stopped_;
};

}  // namespace selvanix::cli
