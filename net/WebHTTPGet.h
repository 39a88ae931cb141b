#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>

#include "DownloadList.h"

namespace selvanix::net {

struct TDownloadParams {
    bool CheckOnly = false;  // headers only
    bool LoadImages = false;
    bool LoadScripts = false;
    bool LoadCssFiles = false;
    quint64 SizeLimit = 0;  // bytes; 0 = no limit
    double Older = 0.0;     // days; 0 = no age limit
};

// What became of the last run's file.
struct DownloadResult {
    bool saved = false;  // the whole body is in the file now
    QString path;        // where it went (installer path)
    QString name;        // its file name: the one asked for, or another (a web page)
    qint64 size = 0;     // bytes of the file
    qint64 reused = 0;   // of them, not fetched but taken from a kept file
};

// Fetches one address into one file: the body is saved on the download's thread the moment
// its item completes, so the file exists afterwards only if the whole body arrived, and the
// result says so.
class WebHTTPGet {
public:
    WebHTTPGet();
    WebHTTPGet(const WebHTTPGet&) = delete;
    WebHTTPGet& operator=(const WebHTTPGet&) = delete;
    ~WebHTTPGet();

    QString URL;
    QString DownloadDir;
    QString DestinationName;
    bool Resume = false;
    qint64 RangeStart = 0;
    qint64 RangeEnd = 0;
    QString Caption;
    QString UserName;
    QString Password;
    QString Referer;
    QStringList AcceptTypes;
    QStringList PostParams;
    TDownloadParams DownloadParams;
    TInternetOptions& InternetOptions() { return list_.InternetOptions; }

    std::function<void(WebHTTPGet&, DownloadItem&)> OnProgress;
    std::function<void(WebHTTPGet&)> OnProcessed;
    std::function<void(WebHTTPGet&, DownloadItem&, QString&)> OnGetFileName;

    // bFillOnly prepares the item without running it (a window runs it); bAsync runs it on a
    // thread of its own; otherwise it runs here and the result is true when the item
    // succeeded.
    bool Process(bool bFillOnly, bool bAsync);
    // The next run's body may be assembled from a kept file and ranges (see BodyAssembly);
    // the run after it starts without, unless this is called again.
    void AssembleNextFrom(std::shared_ptr<BodyAssembly> assembly) {
        assembly_ = std::move(assembly);
    }
    void Stop();

    DownloadState GetState() const { return list_.State(); }
    int GetError() const;
    QString GetErrorString() const;
    int GetProgress() const;
    QString GetProgressString() const;
    QString GetDataAsString() const;
    // The body of the last completed download when it was small enough for memory (see
    // TInternetOptions::BodyInMemoryLimit); a larger one went to its file only, and this is
    // empty. DataSize() counts the body's bytes either way.
    const QByteArray& Data() const { return FData; }
    quint64 DataSize() const { return FDataSize; }
    DownloadList& List() { return list_; }
    DownloadItem* FileDownloader() const { return FFileDownloader; }
    DownloadResult Result() const;

    void DownloadProgress(DownloadItem& item);
    void DownloadProcessed();

private:
    void prepare();
    DownloadRequest request();
    void completed(DownloadItem& item);
    bool saveBody(DownloadItem& item);

    DownloadList list_;
    std::shared_ptr<BodyAssembly> assembly_;
    mutable std::mutex resultLock_;
    DownloadResult result_;
    DownloadItem* FFileDownloader = nullptr;
    QByteArray FData;
    quint64 FDataSize = 0;
};

}  // namespace selvanix::net
