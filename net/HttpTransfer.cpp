#include "HttpTransfer.h"

#include <algorithm>
#include <mutex>

#include "InternetErrors.h"
#include "ProxyAddress.h"
#include "Tick.h"

namespace selvanix::net {

namespace {

constexpr std::size_t kPieceSize = 16384;
// Socket reads are larger than the pieces handed on: fewer wake-ups on fast links.
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr int kPollMs = 100;

bool headerIs(const QByteArray& line, const char* name, QByteArray& value) {
    const qsizetype colon = line.indexOf(':');
    if (colon < 0 || line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) != 0) {
        return false;
    }
    value = line.mid(colon + 1).trimmed();
    return true;
}

// Status lines that cannot be read show up as one of these once a server answered.
bool unreadableReply(CURLcode code) {
    return code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_WEIRD_SERVER_REPLY;
}

}  // namespace

void ensureCurlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpTransfer::HttpTransfer() {
    ensureCurlInitialised();
    easy_.reset(curl_easy_init());
    multi_.reset(curl_multi_init());
}

HttpTransfer::~HttpTransfer() = default;

void HttpTransfer::cancel() {
    cancelled_ = true;
    if (multi_) {
        curl_multi_wakeup(multi_.get());
    }
}

int HttpTransfer::perform(const HttpRequest& request, HeadHandler onHead, DataHandler onData) {
    onHead_ = std::move(onHead);
    onData_ = std::move(onData);
    head_ = {};
    headDelivered_ = false;
    stoppedByHandler_ = false;
    raised_ = nullptr;
    if (!valid()) {
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    const std::optional<CurlSlist> headers = prepare(request);
    if (!headers) {
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    const CurlMultiMember member(multi_.get(), easy_.get());
    if (!member.added()) {
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    if (const std::optional<int> cut = drive(request)) {
        return *cut;
    }
    return outcome(request);
}

// The exchange's options from the request; the header list it returns must outlive the
// exchange. Nothing when the list could not be made.
std::optional<CurlSlist> HttpTransfer::prepare(const HttpRequest& request) {
    CURL* h = easy_.get();
    const QByteArray url = request.url.toUtf8();
    const QByteArray userName = request.userName.toUtf8();
    const QByteArray password = request.password.toUtf8();
    const QByteArray caFile = request.caFile.toLocal8Bit();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // What came over https never continues in the clear.
    const bool secure = request.url.startsWith(QStringLiteral("https:"), Qt::CaseInsensitive);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_HTTP09_ALLOWED, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    // The user's proxy variables are ignored unless asked for: the installer connects
    // directly unless told.
    const QByteArray proxy = request.proxy.toUtf8();
    const QByteArray proxyUser = request.proxyUserName.toUtf8();
    const QByteArray proxyPassword = request.proxyPassword.toUtf8();
    if (!request.proxyFromEnvironment) {
        curl_easy_setopt(h, CURLOPT_PROXY, proxy.constData());
    }
    if (!proxyUser.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, proxyUser.constData());
        curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, proxyPassword.constData());
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(request.connectTimeoutSecs));
    if (request.lowSpeedLimit > 0 && request.lowSpeedTimeSecs > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(request.lowSpeedLimit));
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.lowSpeedTimeSecs));
    }
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.constData());
    curl_easy_setopt(h, CURLOPT_REFERER, request.referer.constData());
    if (!userName.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, userName.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    }
    if (!caFile.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    }
    if (request.verb == "POST") {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.postData.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.postData.constData());
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    curl_slist* list = curl_slist_append(nullptr, "Connection: Keep-Alive");
    CurlSlist headers(list);
    if (!request.range.isEmpty()) {
        list = curl_slist_append(list, QByteArray("Range: " + request.range).constData());
    }
    for (const QByteArray& line : request.headers.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            list = curl_slist_append(list, line.trimmed().constData());
        }
    }
    if (!list) {
        return std::nullopt;
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpTransfer::headerCallback);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpTransfer::writeCallback);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    return headers;
}

// Runs the exchange until it ends; the error when it was cut short (stopped, stalled or
// failed), nothing when it ran to its end.
std::optional<int> HttpTransfer::drive(const HttpRequest& request) {
    lastActivityMs_ = tickCount();
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
            return ERROR_INTERNET_INTERNAL_ERROR;
        }
        if (!running) {
            break;
        }
        if (cancelled_ || stoppedByHandler_) {
            if (raised_) {
                std::rethrow_exception(raised_);
            }
            return ERROR_INTERNET_OPERATION_CANCELLED;
        }
        if (tickCount() - lastActivityMs_ > request.stallTimeoutMs) {
            return ERROR_INTERNET_TIMEOUT;
        }
        curl_multi_poll(multi_.get(), nullptr, 0, kPollMs, nullptr);
    }
    if (raised_) {
        std::rethrow_exception(raised_);
    }
    return std::nullopt;
}

// What the ended exchange comes to, as a download error code.
int HttpTransfer::outcome(const HttpRequest& request) {
    CURL* h = easy_.get();
    CURLcode code = CURLE_OK;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
        if (message->msg == CURLMSG_DONE) {
            code = message->data.result;
        }
    }
    // A redirect to a scheme other than http(s) (file://, for one) was refused, not unreadable.
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_UNSUPPORTED_PROTOCOL && status >= 300 && status < 400) {
        return ERROR_HTTP_REDIRECT_FAILED;
    }
    if (!headDelivered_ && (code == CURLE_OK || unreadableReply(code))) {
        long connects = 0;
        curl_easy_getinfo(h, CURLINFO_NUM_CONNECTS, &connects);
        if (code != CURLE_OK && connects > 0) {
            head_.status = 0;
        }
        if (code == CURLE_OK || connects > 0) {
            if (!deliverHead()) {
                if (raised_) {
                    std::rethrow_exception(raised_);
                }
                return ERROR_INTERNET_OPERATION_CANCELLED;
            }
            code = CURLE_OK;
        }
    }
    if (code == CURLE_COULDNT_RESOLVE_PROXY) {
        return ERROR_PROXY_NAME_NOT_RESOLVED;
    }
    if (code == CURLE_COULDNT_CONNECT && proxyDidNotAnswer(request)) {
        return ERROR_PROXY_CANNOT_CONNECT;
    }
    return resultCode(code);
}

// Through a proxy the server's silence comes back as the proxy's answer (502, or a refused
// CONNECT); a connection that failed without one was the proxy's own. curl names the port it
// tried only in some versions.
bool HttpTransfer::proxyDidNotAnswer(const HttpRequest& request) const {
    const QString proxy = proxyAddress(request.url, request.proxy, request.proxyFromEnvironment);
    if (proxy.isEmpty()) {
        return false;
    }
    long connectCode = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (connectCode != 0) {
        return false;
    }
    long port = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_PRIMARY_PORT, &port);
    return port == 0 || port == proxyPort(proxy);
}

bool HttpTransfer::deliverHead() {
    headDelivered_ = true;
    try {
        if (!onHead_ || onHead_(head_)) {
            return true;
        }
    } catch (...) {
        raised_ = std::current_exception();
    }
    stoppedByHandler_ = true;
    return false;
}

std::size_t HttpTransfer::headerCallback(char* data, std::size_t size, std::size_t n, void* p) {
    auto* self = static_cast<HttpTransfer*>(p);
    const std::size_t length = size * n;
    self->lastActivityMs_ = tickCount();
    if (self->cancelled_) {
        return 0;
    }
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(length)).trimmed();
    QByteArray value;
    if (line.startsWith("HTTP/")) {
        // Each reply of a redirect chain starts afresh; the last one is the reply.
        self->head_ = {};
        const QList<QByteArray> words = line.split(' ');
        bool ok = false;
        const int status = words.size() > 1 ? words[1].toInt(&ok) : 0;
        self->head_.status = ok ? status : 0;
    } else if (headerIs(line, "Content-Type", value)) {
        self->head_.contentType = value;
    } else if (headerIs(line, "Content-Length", value)) {
        self->head_.contentLength = value;
    } else if (headerIs(line, "Content-Range", value)) {
        self->head_.contentRange = value;
    } else if (headerIs(line, "Location", value)) {
        self->head_.location = value;
    } else if (headerIs(line, "Last-Modified", value)) {
        self->head_.lastModified = value;
    } else if (headerIs(line, "ETag", value)) {
        self->head_.etag = value;
    } else if (headerIs(line, "Set-Cookie", value)) {
        self->head_.cookies.append(value);
    }
    return length;
}

std::size_t HttpTransfer::writeCallback(char* data, std::size_t size, std::size_t n, void* p) {
    auto* self = static_cast<HttpTransfer*>(p);
    const std::size_t length = size * n;
    self->lastActivityMs_ = tickCount();
    if (self->cancelled_ || (!self->headDelivered_ && !self->deliverHead())) {
        return 0;
    }
    try {
        for (std::size_t at = 0; at < length && self->onData_; at += kPieceSize) {
            if (!self->onData_(data + at, std::min(kPieceSize, length - at))) {
                self->stoppedByHandler_ = true;
                return 0;
            }
        }
    } catch (...) {
        self->raised_ = std::current_exception();
        self->stoppedByHandler_ = true;
        return 0;
    }
    return length;
}

int HttpTransfer::resultCode(CURLcode code) const {
    if (cancelled_ || stoppedByHandler_) {
        return ERROR_INTERNET_OPERATION_CANCELLED;
    }
    switch (code) {
        case CURLE_OK:
            return 0;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        case CURLE_URL_MALFORMAT:
            return ERROR_INTERNET_INVALID_URL;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_OPERATION_TIMEDOUT:
            return ERROR_INTERNET_TIMEOUT;
        case CURLE_PARTIAL_FILE:
            return ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            return ERROR_INTERNET_CONNECTION_RESET;
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        case CURLE_TOO_MANY_REDIRECTS:
            return ERROR_HTTP_REDIRECT_FAILED;
        case CURLE_LOGIN_DENIED:
            return ERROR_INTERNET_LOGIN_FAILURE;
        case CURLE_PEER_FAILED_VERIFICATION:
            return ERROR_INTERNET_INVALID_CA;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
        case CURLE_ABORTED_BY_CALLBACK:
        case CURLE_WRITE_ERROR:
            return ERROR_INTERNET_OPERATION_CANCELLED;
        default:
            return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

}  // namespace selvanix::net
