#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "DownloadList.h"

class QWidget;

namespace selvanix::net {

class DownloadWindow;

struct TDownloadParams {
    bool CheckOnly = false;  // headers only
    bool LoadImages = false;
    bool LoadScripts = false;
    bool LoadCssFiles = false;
    quint64 SizeLimit = 0;  // bytes; 0 = no limit
    double Older = 0.0;     // days; 0 = no age limit
};

// Fetches one address into one file: the body is saved on the user-interface thread when
// its item completes, so the file exists afterwards only if the whole body arrived.
class WebHTTPGet {
public:
    explicit WebHTTPGet(QWidget* owner = nullptr);
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
    std::function<void(WebHTTPGet&, DownloadWindow&)> OnCustomizeForm;

    // Shows the download window until the run has ended; false after Cancel.
    bool InteractiveProcess();
    bool Process(bool bFillOnly, bool bAsync);
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

    void DownloadProgress(DownloadItem& item);
    void DownloadProcessed();

private:
    void prepare();
    void saveBody(DownloadItem& item);

    QWidget* owner_;
    DownloadList list_;
    DownloadItem* FFileDownloader = nullptr;
    QByteArray FData;
    quint64 FDataSize = 0;
};

}  // namespace selvanix::net
