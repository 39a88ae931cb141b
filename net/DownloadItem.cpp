#include "DownloadItem.h"
#include "ProxyAddress.h"

#include <QDir>
#include <algorithm>
#include <cmath>
#include <exception>

#include "BodyFile.h"
#include "ByteRanges.h"
#include "DownloadList.h"
#include "HttpTransfer.h"
#include "InternetErrors.h"
#include "Tick.h"
#include "UrlParts.h"
#include "platform/ConnectedState.h"
#include "platform/MemoryAdvice.h"

namespace selvanix::net {

namespace {

constexpr long long kNotifyIntervalMs = 500;

QByteArray rangeValue(qint64 start, qint64 end) {
    if (end > start) {
        return "bytes=" + QByteArray::number(start) + '-' + QByteArray::number(end);
    }
    if (end >= 0) {
        return "bytes=" + QByteArray::number(start) + '-';
    }
    return "bytes=-" + QByteArray::number(-end);
}

// Whether a 206 reply is the part asked for: it starts where we asked and ends where the file
// ends (or where a closed range we asked for ends). Anything else would be saved as if it were
// the whole rest of the file.
bool isTheAskedPart(const QByteArray& header, qint64 start, qint64 end) {
    const auto range = parseContentRange(header);
    if (!range || range->first != start) {
        return false;
    }
    if (end > start) {
        return range->last == end && (range->complete < 0 || range->last < range->complete);
    }
    return range->complete >= 0 && range->last + 1 == range->complete;
}

class ActiveTransfer {
public:
    ActiveTransfer(std::mutex& lock, HttpTransfer*& slot, HttpTransfer& transfer)
        : lock_(lock), slot_(slot) {
        const std::lock_guard guard(lock_);
        slot_ = &transfer;
    }
    ActiveTransfer(const ActiveTransfer&) = delete;
    ActiveTransfer& operator=(const ActiveTransfer&) = delete;
    ~ActiveTransfer() {
        const std::lock_guard guard(lock_);
        slot_ = nullptr;
    }

private:
    std::mutex& lock_;
    HttpTransfer*& slot_;
};

// Which proxy the options choose: an address with its credentials, the environment's, or a
// name and port with credentials of their own; none of them means a direct connection.
struct ProxyRoute {
    QString named;
    bool fromEnvironment = false;
    QString userName;
    QString password;
};

ProxyRoute proxyRoute(const TInternetOptions& options) {
    if (!options.ProxyUrl.isEmpty()) {
        return {options.ProxyUrl, false, {}, {}};
    }
    if (options.ProxyFromEnvironment) {
        return {{}, true, {}, {}};
    }
    if (!options.UseProxy) {
        return {};
    }
    ProxyRoute route{options.ProxyName + u':' + QString::number(options.ProxyPort), false, {}, {}};
    if (options.UseProxyAuth) {
        route.userName = options.ProxyUserName;
        route.password = options.ProxyPassword;
    }
    return route;
}

}  // namespace

void DownloadItem::Prepare() {
    DataStream.clear();
    FBodyFile.reset();
    FDataSize = 0;
    FReusedSize = 0;
    Terminated = false;
    FProgress = 0;
    FError = 0;
    FErrorString.clear();
    FState = DS_NONE;
    FActualType.clear();
}

void DownloadItem::ResetData() {
    DataStream = QByteArray();
    FBodyFile.reset();
    FDataSize = 0;
}

bool DownloadItem::fail(int code, const QString& text) {
    SetError(code, text);
    FState = DS_ERROR;
    DataStream = QByteArray();
    FBodyFile.reset();  // its temporary file goes with it
    return false;
}

void DownloadItem::SetError(int code, const QString& text) {
    FError = code;
    FErrorString = text;
}

void DownloadItem::Terminate() {
    Terminated = true;
    const std::lock_guard guard(transferLock_);
    if (transfer_) {
        transfer_->cancel();
    }
}

void DownloadItem::Stop(int code, const QString& text) {
    SetError(code, text);
    Terminate();
}

bool DownloadItem::connected() const {
    return Options.ForceInternetCheck || platform::InternetGetConnectedState() ||
           isLocalUrl(request_.url);
}

void DownloadItem::recordLastError(int code) {
    if (FState == DS_ERROR) {
        return;
    }
    if (Terminated && code == 0) {
        code = ERROR_STOPPED;
    }
    SetError(code, internetErrorText(code));
}

void DownloadItem::Process() {
    if (FState != DS_NONE) {
        return;
    }
    FHeaderLoaded = false;
    // A stop that came before this moment is kept: the list's flag is read after the state
    // says processing, and the list sets its flag before it looks for processing items.
    FState = DS_PROCESSING;
    if (list_.IsTerminated()) {
        Terminated = true;
    }
    Options = list_.InternetOptions;
    try {
        transfer();
    } catch (const std::exception& e) {
        SetError(1, QString::fromLocal8Bit(e.what()));
        FState = DS_ERROR;
    }
    if (FState != DS_ERROR) {
        FState = DS_PROCESSED;
    }
    if (FState == DS_ERROR || Terminated) {
        FBodyFile.reset();  // nothing of a failed or stopped body stays on disk
    }
    FProgress = 100;
    if (!Terminated) {
        list_.SendCompleted(*this);
        list_.SendProgress(*this);
    }
}

void DownloadItem::transfer() {
    if (!connected()) {
        SetError(2, QStringLiteral("Not connected"));
        FState = DS_ERROR;
        return;
    }
    list_.SendProgress(*this);

    HttpTransfer session;
    const ActiveTransfer active(transferLock_, transfer_, session);
    announced_ = 0;
    FLastModified = 0;
    headArrived_ = false;
    if (!session.valid()) {
        recordLastError(ERROR_INTERNET_INTERNAL_ERROR);
        FState = DS_ERROR;
        return;
    }
    if (!connected()) {
        SetError(2, QStringLiteral("Not connected"));
        FState = DS_ERROR;
        return;
    }
    const std::optional<HttpRequest> request = httpRequest();
    if (!request) {
        return;
    }
    if (Terminated) {
        recordLastError(0);
        FState = DS_ERROR;
        return;
    }

    int code = 0;
    if (!assembled(session, *request, code)) {
        code = session.perform(
            *request, [this](const HttpReplyHead& head) { return acceptHead(head); },
            [this](const char* data, std::size_t size) { return acceptPiece(data, size); });
    }
    if (!headArrived_) {
        // Nothing came back: the request could not be made or was stopped on its way.
        recordLastError(code);
        FState = DS_ERROR;
    } else if (FState != DS_ERROR && !request_.checkOnly) {
        if (Terminated) {
            if (FError == 0) {
                recordLastError(code);
            }
        } else if (code != 0) {
            recordLastError(code);
            FState = DS_ERROR;
        }
    }
}

// The exchange the item's fields ask for; nothing, with the item failed, when its address is
// no http(s) address.
std::optional<HttpRequest> DownloadItem::httpRequest() {
    const std::optional<UrlParts> parts = crackUrl(request_.url);
    if (!parts) {
        recordLastError(ERROR_INTERNET_INVALID_URL);
        FState = DS_ERROR;
        return std::nullopt;
    }
    const bool https = parts->scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    if (!https && parts->scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0) {
        recordLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        FState = DS_ERROR;
        return std::nullopt;
    }

    HttpRequest request;
    // An IPv6 literal keeps its brackets in the address, whether or not the parts have them.
    const bool bracketed = parts->host.startsWith(u'[');
    const QString host =
        parts->host.contains(u':') && !bracketed ? u'[' + parts->host + u']' : parts->host;
    request.url = (https ? QStringLiteral("https://") : QStringLiteral("http://")) + host + u':' +
                  QString::number(parts->port) + parts->objectName();
    request.verb = request_.verb == IV_POST ? "POST" : "GET";
    request.postData = request_.postData;
    request.userAgent =
        Options.UserAgent.isEmpty() ? QByteArray("DW") : Options.UserAgent.toLatin1();
    request.referer = (request_.referer.isEmpty() ? parts->path : request_.referer).toUtf8();
    request.range = rangeValue(request_.rangeStart, request_.rangeEnd);
    request.userName = request_.userName;
    request.password = request_.password;
    request.headers = request_.headers.toLatin1();
    if (request_.reload) {
        request.headers += "\r\nPragma: no-cache\r\nCache-Control: no-cache";
    }
    request.followRedirects = !request_.noRedirect;
    request.connectTimeoutSecs = Options.ConnectTimeout;
    request.stallTimeoutMs = Options.StallTimeoutMs;
    request.lowSpeedLimit = Options.LowSpeedLimit;
    request.lowSpeedTimeSecs = Options.LowSpeedTimeSecs;
    request.caFile = Options.CaFile;
    const ProxyRoute proxy = proxyRoute(Options);
    request.proxy = proxy.named;
    request.proxyFromEnvironment = proxy.fromEnvironment;
    request.proxyUserName = proxy.userName;
    request.proxyPassword = proxy.password;
    return request;
}

QString DownloadItem::ProxyAddress() const {
    const ProxyRoute proxy = proxyRoute(Options);
    return proxyAddress(request_.url, proxy.named, proxy.fromEnvironment);
}

bool DownloadItem::acceptHead(const HttpReplyHead& head) {
    headArrived_ = true;
    iStatusCode = head.status.value_or(0);
    if (head.status && *head.status != 200 && *head.status != 206 && *head.status != 302) {
        SetError(2, httpErrorText(*head.status));
        FState = DS_ERROR;
    }
    FActualURL = head.location.isEmpty() ? request_.url : QString::fromUtf8(head.location);
    FActualType = QString::fromLatin1(head.contentType).trimmed();
    if (FState != DS_ERROR && !FActualType.isEmpty() && !request_.acceptTypes.trimmed().isEmpty()) {
        bool accepted = false;
        for (const QString& type : request_.acceptTypes.split(u'\n')) {
            const QString wanted = type.trimmed();
            accepted = accepted || (!wanted.isEmpty() && FActualType.contains(wanted));
        }
        if (!accepted) {
            SetError(412, QStringLiteral("Precond failed"));
            FState = DS_ERROR;
        }
    }
    Cookies = head.cookies;
    bool ok = false;
    announced_ = head.contentLength.trimmed().toLongLong(&ok);
    if (!ok || announced_ < 0) {
        announced_ = 0;
    }
    FLastModified = parseHttpDate(head.lastModified);
    // A part that is not the one we asked for would land at the wrong place in the file, or
    // pass for the whole rest of it.
    if (FState != DS_ERROR && iStatusCode == 206 && request_.rangeEnd >= 0 &&
        !isTheAskedPart(head.contentRange, request_.rangeStart, request_.rangeEnd)) {
        SetError(ERROR_HTTP_INVALID_SERVER_RESPONSE,
                 internetErrorText(ERROR_HTTP_INVALID_SERVER_RESPONSE));
        FState = DS_ERROR;
    }
    if (FState == DS_ERROR) {
        return false;
    }

    FDataSize = static_cast<quint64>(announced_);
    FHeaderLoaded = true;
    list_.SendProgress(*this);
    FHeaderLoaded = false;
    if (request_.checkOnly || Terminated) {
        return false;
    }
    FDataSize = 0;
    // A body announced larger than memory may hold goes to its file from the start; a smaller
    // one gets its room at once.
    if (announced_ > Options.BodyInMemoryLimit) {
        if (!moveBodyToFile()) {
            return false;
        }
        FBodyFile->reserve(std::min(announced_, diskRoom_));
    } else if (announced_ > 0) {
        DataStream.reserve(announced_);
        platform::adviseHugePages(DataStream.data(), static_cast<std::size_t>(announced_));
    }
    pieceTick_ = tickCount();
    notifiedBody_ = false;
    return true;
}

bool DownloadItem::acceptPiece(const char* data, std::size_t size) {
    // What a server may make us store: no more than it announced, nor than the owner allows.
    const quint64 after = FDataSize + size;
    if ((announced_ > 0 && after > static_cast<quint64>(announced_)) ||
        (request_.sizeLimit > 0 && after > request_.sizeLimit)) {
        countPiece(size);
        return fail(8, QStringLiteral("Size limit"));
    }
    const long long now = countPiece(size);
    if (!store(data, size)) {
        return false;
    }
    if (Terminated) {
        return false;
    }
    notifyBody(now);
    return !Terminated;
}

long long DownloadItem::countPiece(std::size_t size) {
    const long long now = tickCount();
    list_.SizeChanged(now - pieceTick_, static_cast<qint64>(size));
    pieceTick_ = now;
    FDataSize += size;
    if (announced_ != 0) {
        const double share =
            static_cast<double>(FDataSize) / static_cast<double>(announced_) * 100.0;
        FProgress = static_cast<int>(std::nearbyint(std::clamp(share, 0.0, 100.0)));
    }
    return now;
}

void DownloadItem::notifyBody(long long now) {
    if (!notifiedBody_ || now - notifyTick_ > kNotifyIntervalMs) {
        notifiedBody_ = true;
        notifyTick_ = now;
        list_.SendProgress(*this);
    }
}

bool DownloadItem::store(const char* data, std::size_t size) {
    const auto piece = static_cast<qint64>(size);
    if (!FBodyFile && DataStream.size() + piece > Options.BodyInMemoryLimit && !moveBodyToFile()) {
        return false;
    }
    if (!FBodyFile) {
        DataStream.append(data, piece);
        return true;
    }
    if (FBodyFile->size() + piece > diskRoom_) {
        diskRoom_ = FBodyFile->size() + FBodyFile->room(Options.KeepFreeOnDisk);
        if (FBodyFile->size() + piece > diskRoom_) {
            return fail(8, QStringLiteral("Size limit"));  // the disk would be full
        }
    }
    if (!FBodyFile->write(data, piece)) {
        return fail(ERROR_DISK_FULL, QStringLiteral("Disk full"));
    }
    return true;
}

bool DownloadItem::moveBodyToFile() {
    const QString folder = request_.bodyFolder.isEmpty() ? QDir::tempPath() : request_.bodyFolder;
    std::unique_ptr<BodyFile> file = BodyFile::create(folder);
    if (!file && QDir().mkpath(folder)) {
        file = BodyFile::create(folder);
    }
    if (!file || !file->write(DataStream.constData(), DataStream.size())) {
        return fail(ERROR_DISK_FULL, QStringLiteral("Disk full"));
    }
    diskRoom_ = file->size() + file->room(Options.KeepFreeOnDisk);
    FBodyFile = std::move(file);
    DataStream = QByteArray();  // the memory goes back at once
    return true;
}

}  // namespace selvanix::net
