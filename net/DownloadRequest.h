#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "DownloadState.h"

namespace selvanix::net {

class BodyAssembly;

// What one item fetches and how, fixed when the item is added: its owner's settings are taken
// once, here, and each exchange is made from this value.
struct DownloadRequest {
    QString url{};
    RequestVerb verb = IV_GET;
    qint64 rangeStart = 0;
    qint64 rangeEnd = 0;
    QString userName{};
    QString password{};
    QString referer{};      // empty: the address's own path
    QString acceptTypes{};  // accepted content types, one per line; empty accepts all
    QString headers{};      // extra request header lines
    QByteArray postData{};
    bool reload = false;
    bool noRedirect = false;
    bool checkOnly = false;  // the head only; the body is never read
    quint64 sizeLimit = 0;   // a body beyond this fails the item ("Size limit"); 0: none
    QString bodyFolder{};    // host folder for a body too large for memory (its destination's)
    // Builds the body from a kept file and ranges, when the server and the file allow.
    std::shared_ptr<BodyAssembly> assembly{};
};

}  // namespace selvanix::net
