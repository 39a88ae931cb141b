#pragma once

namespace selvanix::net {

// The state of one download item and of the download list.
enum DownloadState : unsigned char {
    DS_NONE = 0,
    DS_PROCESSING = 1,
    DS_PROCESSED = 2,
    DS_ERROR = 3,
};

enum RequestVerb { IV_GET = 0, IV_POST = 1 };

}  // namespace selvanix::net
