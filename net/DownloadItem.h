#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

#include "DownloadRequest.h"
#include "DownloadState.h"
#include "HttpDate.h"
#include "InternetOptions.h"

namespace selvanix::net {

class BodyAssembly;
class BodyFile;
class DownloadList;
class HttpTransfer;
struct HttpReplyHead;
struct HttpRequest;
struct RemoteFile;

// One transfer of one address into memory, run on a worker thread of its list.
class DownloadItem {
public:
    DownloadItem(DownloadList& owner, DownloadRequest request)
        : request_(std::move(request)), list_(owner) {}
    DownloadItem(const DownloadItem&) = delete;
    DownloadItem& operator=(const DownloadItem&) = delete;

    const DownloadRequest& Request() const { return request_; }
    // The "host:port" of the proxy the item goes through; empty when it goes direct.
    QString ProxyAddress() const;
    // Stopped by a Terminate or by the owner: the transfer ends at its next step.
    bool IsTerminated() const { return Terminated.load(); }

    // The outcome, as others see it: written by the worker, read by others while it waits in
    // a notification or after the run.
    DownloadState State() const { return FState.load(); }
    int Progress() const { return FProgress; }
    int Error() const { return FError; }
    const QString& ErrorString() const { return FErrorString; }
    quint64 DataSize() const { return FDataSize; }       // while the head is announced: the length
    qint64 AnnouncedSize() const { return announced_; }  // 0: the head announced none
    // The body: in memory up to Options.BodyInMemoryLimit, else all of it in bodyFile() and
    // Data() empty. DataSize() counts its bytes either way.
    const QByteArray& Data() const { return DataStream; }
    const std::shared_ptr<BodyFile>& bodyFile() const { return FBodyFile; }
    TDateTime LastModified() const { return FLastModified; }
    const QString& ActualType() const { return FActualType; }
    const QString& ActualURL() const { return FActualURL; }
    int StatusCode() const { return iStatusCode; }
    const QList<QByteArray>& cookies() const { return Cookies; }
    bool HeaderLoaded() const { return FHeaderLoaded; }
    bool Ready() const { return FReady; }
    qint64 ReusedSize() const { return FReusedSize; }  // bytes of the body that were not fetched
    const QString& LocalURL() const { return FLocalURL; }

    void Prepare();
    void Process();
    void Terminate();                          // any thread: a blocked transfer ends at once
    void Stop(int code, const QString& text);  // an owner's refusal, from a notification
    void ResetData();
    void SetError(int code, const QString& text);

private:
    // The owner keeps the body and names its file; the list picks items by their state.
    friend class WebHTTPGet;
    friend class DownloadList;

    const DownloadRequest request_;
    std::atomic<bool> Terminated{false};
    std::atomic<DownloadState> FState{DS_NONE};
    int FProgress = 0;
    int FError = 0;
    QString FErrorString;
    quint64 FDataSize = 0;
    QByteArray DataStream;
    std::shared_ptr<BodyFile> FBodyFile;
    TDateTime FLastModified = 0;
    QString FActualType;
    QString FActualURL;
    int iStatusCode = 0;
    QList<QByteArray> Cookies;
    bool FHeaderLoaded = false;
    bool FReady = false;
    QString FLocalURL;
    qint64 FReusedSize = 0;
    TInternetOptions Options;

    void transfer();
    bool connected() const;
    std::optional<HttpRequest> httpRequest();
    bool acceptHead(const HttpReplyHead& head);
    bool acceptPiece(const char* data, std::size_t size);
    long long countPiece(std::size_t size);
    void notifyBody(long long now);
    // Tries the assembly; false when the whole file is to be fetched as usual.
    bool assembleFrom(HttpTransfer& session, const HttpRequest& plain, const RemoteFile& remote,
                      const HttpReplyHead& tailHead, int& code);
    bool assembled(HttpTransfer& session, const HttpRequest& plain, int& code);
    friend class ItemRanges;
    bool store(const char* data, std::size_t size);
    bool moveBodyToFile();
    bool fail(int code, const QString& text);
    void recordLastError(int code);

    DownloadList& list_;
    std::mutex transferLock_;
    HttpTransfer* transfer_ = nullptr;  // the running transfer, for Terminate
    qint64 announced_ = 0;
    qint64 diskRoom_ = 0;  // what the body file may grow to before the disk is too full
    bool headArrived_ = false;
    long long pieceTick_ = 0;
    long long notifyTick_ = 0;
    bool notifiedBody_ = false;
};

}  // namespace selvanix::net
