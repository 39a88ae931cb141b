#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>

#include "CurlHandles.h"

namespace selvanix::net {

struct HttpRequest {
    QString url;  // scheme, host, port and object name; no user name, no fragment
    QByteArray verb = "GET";
    QByteArray userAgent;
    QByteArray referer;
    QByteArray range;  // the value after "Range: "
    QString userName;
    QString password;
    QByteArray headers;  // extra request lines, CRLF separated
    QByteArray postData;
    bool followRedirects = true;
    int connectTimeoutSecs = 30;
    int stallTimeoutMs = 60000;
    int lowSpeedLimit = 0;  // bytes a second; 0: no such limit
    int lowSpeedTimeSecs = 0;
    QString caFile;
    QString proxy;                      // empty: a direct connection, unless proxyFromEnvironment
    bool proxyFromEnvironment = false;  // http_proxy, https_proxy and no_proxy decide
    QString proxyUserName;
    QString proxyPassword;
};

// The reply head a transfer exposes: the final reply's, after any redirects it followed.
struct HttpReplyHead {
    std::optional<int> status;  // absent for a reply without a status line; 0 when unreadable
    QByteArray contentType;
    QByteArray contentLength;
    QByteArray contentRange;
    QByteArray location;
    QByteArray lastModified;
    QByteArray etag;
    QList<QByteArray> cookies;
};

// One HTTP exchange through libcurl on the calling thread. The head handler runs once,
// before the first piece of the body; the data handler gets the body in pieces of at most
// 16384 bytes. Either handler stops the transfer by returning false.
class HttpTransfer {
public:
    using HeadHandler = std::function<bool(const HttpReplyHead&)>;
    using DataHandler = std::function<bool(const char* data, std::size_t size)>;

    HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;
    ~HttpTransfer();

    bool valid() const { return easy_ && multi_; }
    // 0 when the body ended normally, else the client error code. An exception thrown by a
    // handler ends the transfer and is thrown again from here.
    int perform(const HttpRequest& request, HeadHandler onHead, DataHandler onData);
    // From any thread: the transfer ends within a fraction of a second.
    void cancel();

private:
    std::optional<CurlSlist> prepare(const HttpRequest& request);
    std::optional<int> drive(const HttpRequest& request);
    int outcome(const HttpRequest& request);
    bool proxyDidNotAnswer(const HttpRequest& request) const;
    bool deliverHead();
    static std::size_t headerCallback(char* data, std::size_t size, std::size_t n, void* self);
    static std::size_t writeCallback(char* data, std::size_t size, std::size_t n, void* self);
    int resultCode(CURLcode code) const;

    CurlEasy easy_;
    CurlMulti multi_;
    std::mutex wakeLock_;
    std::atomic<bool> cancelled_{false};
    std::atomic<long long> lastActivityMs_{0};
    HttpReplyHead head_;
    bool headDelivered_ = false;
    bool stoppedByHandler_ = false;
    std::exception_ptr raised_;  // thrown by a handler; carried past libcurl's C frames
    HeadHandler onHead_;
    DataHandler onData_;
};

}  // namespace selvanix::net
