#include "WebHTTPGet.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "InternetErrors.h"
#include "SaveBody.h"
#include "UrlParts.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

namespace selvanix::net {

namespace {

qint64 fileSize(const QString& path) {
    const QFileInfo info(platform::toHostPath(path));
    return info.isFile() ? info.size() : -1;
}

// A name for a file the caller did not name: host, "_" and the last path segment, with
// every character but digits, letters and "." replaced by "_".
QString generatedName(const QString& url) {
    const UrlParts parts = crackUrl(url).value_or(UrlParts{});
    QString name = parts.host + u'_' + urlFileName(parts.path);
    for (QChar& c : name) {
        const char16_t u = c.unicode();
        const bool keep = (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') ||
                          (u >= u'a' && u <= u'z') || u == u'.';
        if (!keep) {
            c = u'_';
        }
    }
    return name;
}

QString absoluteFolder(const QString& folder) {
    QString result = folder;
    if (!platform::hasDrive(folder) && !folder.startsWith(u'/') && !folder.startsWith(u'\\')) {
        result = QDir::currentPath() + u'/' + folder;
    }
    if (!result.endsWith(u'\\') && !result.endsWith(u'/')) {
        result += u'\\';
    }
    return result;
}

TDateTime now() {
    const QDateTime current = QDateTime::currentDateTime();
    return static_cast<double>(QDate(1899, 12, 30).daysTo(current.date())) +
           current.time().msecsSinceStartOfDay() / 86400000.0;
}

}  // namespace

WebHTTPGet::WebHTTPGet() {
    list_.SetOnProgress([this](DownloadItem& item) { DownloadProgress(item); });
    list_.SetOnProcessed([this](DownloadList&) { DownloadProcessed(); });
    list_.SetOnCompleted([this](DownloadItem& item) { completed(item); });
}

WebHTTPGet::~WebHTTPGet() = default;

DownloadResult WebHTTPGet::Result() const {
    const std::lock_guard guard(resultLock_);
    return result_;
}

bool WebHTTPGet::Process(bool bFillOnly, bool bAsync) {
    if (list_.State() != DS_PROCESSING) {
        prepare();
    }
    if (bFillOnly) {
        return true;
    }
    if (bAsync) {
        list_.ThreadProcess();
        return true;
    }
    const DownloadList::ProgressHandler progress = list_.OnProgress();
    const DownloadList::ProcessedHandler processed = list_.OnProcessed();
    list_.SetOnProgress({});
    list_.SetOnProcessed({});
    list_.Process();
    list_.SetOnProgress(progress);
    list_.SetOnProcessed(processed);
    DownloadItem& item = *FFileDownloader;
    DownloadProgress(item);
    DownloadProcessed();
    return item.FState == DS_PROCESSED && item.FError == 0;
}

void WebHTTPGet::Stop() {
    list_.Terminate();
}

void WebHTTPGet::prepare() {
    {
        const std::lock_guard guard(resultLock_);
        result_ = {};
    }
    FData.clear();
    FDataSize = 0;
    list_.Clear();
    FFileDownloader = &list_.Add(request());
}

// The one item's request, from the properties as they are now.
DownloadRequest WebHTTPGet::request() {
    DownloadRequest request;
    request.url = URL;
    request.rangeStart = RangeStart;
    request.rangeEnd = RangeEnd;
    if (Resume) {
        const qint64 size = fileSize(DownloadDir + u'\\' + DestinationName);
        if (size >= 0) {
            request.rangeStart = size > 0 ? size - 1 : 0;
            request.rangeEnd = 0;
        }
    }
    request.assembly = std::move(assembly_);
    request.sizeLimit = DownloadParams.SizeLimit;
    request.checkOnly = DownloadParams.CheckOnly;
    if (!DownloadDir.isEmpty()) {
        request.bodyFolder = platform::toHostPath(absoluteFolder(DownloadDir));
    }
    request.acceptTypes = AcceptTypes.join(u'\n');
    request.userName = UserName;
    request.password = Password;
    if (!PostParams.isEmpty()) {
        request.verb = IV_POST;
        request.postData = PostParams.join(u'&').toUtf8();
    }
    request.referer = Referer;
    return request;
}

void WebHTTPGet::DownloadProgress(DownloadItem& item) {
    const quint64 limit = DownloadParams.SizeLimit;
    if (item.FState == DS_PROCESSING && item.FHeaderLoaded) {
        if (limit > 0 && limit < item.FDataSize) {
            item.Stop(8, QStringLiteral("Size limit"));
        }
        if (DownloadParams.Older > 0 && item.FLastModified != 0 &&
            now() - item.FLastModified > DownloadParams.Older) {
            item.Stop(9, QStringLiteral("URL is olded"));
        }
    } else if (item.FState == DS_PROCESSING && limit > 0 && limit < item.FDataSize) {
        item.Stop(8, QStringLiteral("Size limit"));
    }
    if (&item == FFileDownloader && item.FState == DS_PROCESSED) {
        FData = item.DataStream;  // shared, not copied: the item lets go of it next
        FDataSize = item.FDataSize;
        item.ResetData();
    }
    if (OnProgress) {
        OnProgress(*this, item);
    }
}

// On the item's thread: a body that arrived whole is saved before anyone hears of it, and one
// that cannot be saved fails its item.
void WebHTTPGet::completed(DownloadItem& item) {
    if (item.FState != DS_PROCESSED || item.request_.checkOnly || DownloadParams.CheckOnly ||
        DownloadDir.isEmpty() || item.FError != 0 || item.FDataSize == 0) {
        return;
    }
    bool saved = false;
    try {
        saved = saveBody(item);
    } catch (const std::exception&) {
        saved = false;
    }
    if (!saved) {
        item.SetError(ERROR_WRITE_FAULT, QStringLiteral("Cannot save ") + item.FLocalURL);
        item.FState = DS_ERROR;
        item.FBodyFile.reset();
    }
    if (&item == FFileDownloader) {
        const std::lock_guard guard(resultLock_);
        result_ = {saved, item.FLocalURL, item.FLocalURL.mid(absoluteFolder(DownloadDir).size()),
                   static_cast<qint64>(item.FDataSize), item.FReusedSize};
    }
}

bool WebHTTPGet::saveBody(DownloadItem& item) {
    const QString folder = absoluteFolder(DownloadDir);
    if (!item.FLocalURL.isEmpty()) {
        platform::deleteFile(item.FLocalURL);
    }
    QString name = (&item == FFileDownloader && !DestinationName.isEmpty())
                       ? DestinationName
                       : generatedName(item.request_.url);
    if (OnGetFileName) {
        OnGetFileName(*this, item, name);
    }
    if (item.FActualType.contains(QLatin1String("text/html"))) {
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot < 0 || !name.mid(dot).contains(QLatin1String(".htm"))) {
            name += QStringLiteral(".htm");
        }
    }
    item.FLocalURL = folder + name;
    platform::createFolder(folder);
    // A body that is a range of the file goes to where the range starts; any other body is
    // the whole file, also when the server ignored the range we asked for.
    const qint64 offset = item.iStatusCode == 206 ? item.request_.rangeStart : 0;
    const qint64 lastModified =
        item.FLastModified > 0 ? dateTimeToMsecsSinceEpoch(item.FLastModified) : 0;
    if (item.FBodyFile) {
        return SaveBodyToFile(item.FLocalURL, *item.FBodyFile, offset, lastModified);
    }
    return SaveBodyToFile(item.FLocalURL, item.DataStream, offset, lastModified);
}

void WebHTTPGet::DownloadProcessed() {
    if (OnProcessed) {
        OnProcessed(*this);
    }
}

int WebHTTPGet::GetError() const {
    return FFileDownloader ? FFileDownloader->FError : 0;
}

QString WebHTTPGet::GetErrorString() const {
    return FFileDownloader ? FFileDownloader->FErrorString : QString();
}

int WebHTTPGet::GetProgress() const {
    const DownloadList& list = list_;
    if (list.Count() == 0) {
        return 0;
    }
    int sum = 0;
    for (int i = 0; i < list.Count(); ++i) {
        sum += list.Item(i).FProgress;
    }
    return sum / list.Count();
}

QString WebHTTPGet::GetProgressString() const {
    if (!FFileDownloader || FFileDownloader->FState == DS_NONE) {
        return QStringLiteral("Idle");
    }
    switch (FFileDownloader->FState) {
        case DS_PROCESSING:
            return QString::number(FFileDownloader->FProgress) + u'%';
        case DS_PROCESSED:
            return QStringLiteral("Completed");
        default:
            return FFileDownloader->FErrorString;
    }
}

QString WebHTTPGet::GetDataAsString() const {
    return QString::fromLatin1(FData);
}

}  // namespace selvanix::net
