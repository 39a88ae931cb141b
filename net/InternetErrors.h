#pragma once

#include <QString>

namespace selvanix::net {

constexpr int ERROR_STOPPED = 6;
constexpr int ERROR_WRITE_FAULT = 29;  // the whole body arrived but could not be saved
constexpr int ERROR_DISK_FULL = 112;   // a body too large for memory could not be kept on disk
constexpr int ERROR_INTERNET_TIMEOUT = 12002;
constexpr int ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr int ERROR_INTERNET_INVALID_URL = 12005;
constexpr int ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr int ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr int ERROR_INTERNET_LOGIN_FAILURE = 12015;
constexpr int ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr int ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr int ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr int ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr int ERROR_INTERNET_INVALID_CA = 12045;
constexpr int ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr int ERROR_HTTP_REDIRECT_FAILED = 12156;
constexpr int ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
// Ours: the proxy, not the server, could not be found or reached.
constexpr int ERROR_PROXY_NAME_NOT_RESOLVED = 12990;
constexpr int ERROR_PROXY_CANNOT_CONNECT = 12991;

// The text recorded for a client error code ("Internet Error: %d" when unlisted).
QString internetErrorText(int code);
// The text recorded for a refused reply status ("HTTP Error: %d" when unlisted).
QString httpErrorText(int status);

}  // namespace selvanix::net
