#pragma once

#include <QString>

namespace selvanix {

class Fetcher;
class RunObserver;

// A newer installer fetched beside the program.
struct UpdateDownload {
    QString path;
    bool complete = false;  // the whole body arrived
    // With a publisher key: the copy passed its signed statement. Without one: complete.
    bool trusted = false;
    bool signatureRequired = false;
    QString problem;  // why the download left no whole file
    QString refusal;  // why a whole, signed copy is still not trusted, when it says more
    QString version;  // what its signed statement says it is; unknown without a signature
};

// Downloads the next installer into the installer's folder; with a publisher key also its
// signature, and a copy that fails either is deleted.
UpdateDownload fetchUpdate(Fetcher& fetcher, RunObserver& observer, const QString& baseUrl,
                           const QString& publicKey);

// A fresh copy cannot start on Linux without an execute bit: it gets the running program's.
void makeRunnable(const QString& path);

}  // namespace selvanix
