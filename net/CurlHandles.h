#pragma once

#include <curl/curl.h>
#include <memory>

namespace selvanix::net {

struct CurlEasyCleanup {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlMultiCleanup {
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct CurlSlistCleanup {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiCleanup>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistCleanup>;

// Adds an easy handle to a multi handle for the life of the object.
class CurlMultiMember {
public:
    CurlMultiMember(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
        added_ = curl_multi_add_handle(multi, easy) == CURLM_OK;
    }
    CurlMultiMember(const CurlMultiMember&) = delete;
    CurlMultiMember& operator=(const CurlMultiMember&) = delete;
    ~CurlMultiMember() {
        if (added_) {
            curl_multi_remove_handle(multi_, easy_);
        }
    }
    bool added() const { return added_; }

private:
    CURLM* multi_;
    CURL* easy_;
    bool added_ = false;
};

// libcurl's process-wide set-up, done once before the first handle.
void ensureCurlInitialised();

}  // namespace selvanix::net
