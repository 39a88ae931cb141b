#include "DownloadItem.h"

#include <cmath>
#include <exception>

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

// The first byte a "bytes first-last/total" range names; -1 when it names none.
qint64 rangeFirstByte(const QByteArray& contentRange) {
    QByteArray value = contentRange.trimmed();
    if (!value.startsWith("bytes")) {
        return -1;
    }
    value = value.mid(5).trimmed();
    const qsizetype dash = value.indexOf('-');
    bool ok = false;
    const qint64 first = dash > 0 ? value.left(dash).toLongLong(&ok) : -1;
    return ok ? first : -1;
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

}  // namespace

void DownloadItem::Prepare() {
    DataStream.clear();
    FDataSize = 0;
    Terminated = false;
    FProgress = 0;
    FError = 0;
    FErrorString.clear();
    FState = DS_NONE;
    FActualType.clear();
}

void DownloadItem::ResetData() {
    DataStream = QByteArray();
    FDataSize = 0;
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
    return Options.ForceInternetCheck || platform::InternetGetConnectedState() || isLocalUrl(FURL);
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
    Terminated = false;
    FState = DS_PROCESSING;
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
    FProgress = 100;
    if (!Terminated) {
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
    const std::optional<UrlParts> parts = crackUrl(FURL);
    if (!parts) {
        recordLastError(ERROR_INTERNET_INVALID_URL);
        FState = DS_ERROR;
        return;
    }
    const bool https = parts->scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    if (!https && parts->scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0) {
        recordLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        FState = DS_ERROR;
        return;
    }

    HttpRequest request;
    const QString host = parts->host.contains(u':') ? u'[' + parts->host + u']' : parts->host;
    request.url = (https ? QStringLiteral("https://") : QStringLiteral("http://")) + host + u':' +
                  QString::number(parts->port) + parts->objectName();
    request.verb = FVerb == IV_POST ? "POST" : "GET";
    request.postData = FPostData;
    request.userAgent =
        Options.UserAgent.isEmpty() ? QByteArray("DW") : Options.UserAgent.toLatin1();
    request.referer = (FReferer.isEmpty() ? parts->path : FReferer).toUtf8();
    request.range = rangeValue(FRangeStart, FRangeEnd);
    request.userName = FUserName;
    request.password = FUserPassword;
    request.headers = FHeaders.toLatin1();
    if (FReload) {
        request.headers += "\r\nPragma: no-cache\r\nCache-Control: no-cache";
    }
    request.followRedirects = !FNoRedirect;
    request.connectTimeoutSecs = Options.ConnectTimeout;
    request.stallTimeoutMs = Options.StallTimeoutMs;
    request.caFile = Options.CaFile;
    if (Options.UseProxy) {
        request.proxy = Options.ProxyName + u':' + QString::number(Options.ProxyPort);
        if (Options.UseProxyAuth) {
            request.proxyUserName = Options.ProxyUserName;
            request.proxyPassword = Options.ProxyPassword;
        }
    }
    if (Terminated) {
        recordLastError(0);
        FState = DS_ERROR;
        return;
    }

    const int code = session.perform(
        request, [this](const HttpReplyHead& head) { return acceptHead(head); },
        [this](const char* data, std::size_t size) { return acceptPiece(data, size); });
    if (!headArrived_) {
        // Nothing came back: the request could not be made or was stopped on its way.
        recordLastError(code);
        FState = DS_ERROR;
    } else if (FState != DS_ERROR && !FCheckOnly) {
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

bool DownloadItem::acceptHead(const HttpReplyHead& head) {
    headArrived_ = true;
    iStatusCode = head.status.value_or(0);
    if (head.status && *head.status != 200 && *head.status != 206 && *head.status != 302) {
        SetError(2, httpErrorText(*head.status));
        FState = DS_ERROR;
    }
    FActualURL = head.location.isEmpty() ? FURL : QString::fromUtf8(head.location);
    FActualType = QString::fromLatin1(head.contentType).trimmed();
    if (FState != DS_ERROR && !FActualType.isEmpty() && !FResultType.trimmed().isEmpty()) {
        bool accepted = false;
        for (const QString& type : FResultType.split(u'\n')) {
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
    // A part that does not start where we asked would land at the wrong place in the file.
    if (FState != DS_ERROR && iStatusCode == 206 && FRangeEnd >= 0 &&
        rangeFirstByte(head.contentRange) != FRangeStart) {
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
    if (FCheckOnly || Terminated) {
        return false;
    }
    FDataSize = 0;
    // Room for the announced body at once, when the machine could hold it at all; a length
    // beyond that is a lie or a failure waiting to happen, and the body grows as it comes.
    if (announced_ > 0 && announced_ <= platform::physicalMemory()) {
        DataStream.reserve(announced_);
        platform::adviseHugePages(DataStream.data(), static_cast<std::size_t>(announced_));
    }
    pieceTick_ = tickCount();
    notifiedBody_ = false;
    return true;
}

bool DownloadItem::acceptPiece(const char* data, std::size_t size) {
    const long long now = tickCount();
    list_.SizeChanged(now - pieceTick_, static_cast<qint64>(size));
    pieceTick_ = now;
    FDataSize += size;
    if (announced_ != 0) {
        FProgress = static_cast<int>(std::nearbyint(static_cast<double>(FDataSize) /
                                                    static_cast<double>(announced_) * 100.0));
    }
    DataStream.append(data, static_cast<qsizetype>(size));
    if (Terminated) {
        return false;
    }
    if (!notifiedBody_ || now - notifyTick_ > kNotifyIntervalMs) {
        notifiedBody_ = true;
        notifyTick_ = now;
        list_.SendProgress(*this);
    }
    return !Terminated;
}

}  // namespace selvanix::net
