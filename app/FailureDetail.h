#pragma once

#include <QString>
#include <exception>

namespace selvanix {

namespace net {
class WebHTTPGet;
}

// One Czech sentence that tells a user why a step came to nothing; shown below the outcome
// and in reports.

// Why a download left no file: cancelled (`finished` false), refused by the server, the server
// not answering, no room on disk...
QString downloadFailure(const net::WebHTTPGet& get, bool finished, const QString& fileName);

// A package folder that lacks a file of the package (descriptor or archive).
QString missingPackageFile(const QString& folder, const QString& fileName);

// Why the run found nowhere to install: empty target fields, or a search that found nothing.
QString noTargetReason(int targetMode, const QString& searchedFile);

// A target the run could not install into, and why.
QString installFailure(const QString& target, const std::exception& error);

}  // namespace selvanix
