#pragma once

#include <QString>
#include <exception>
#include <string>

namespace selvanix {

// Base of every error the system raises; the message is what the user sees.
class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// A file-system failure with the platform's error code.
class EInOutError : public Exception {
public:
    explicit EInOutError(int errorCode);
    int errorCode() const noexcept { return errorCode_; }

private:
    int errorCode_;
};

// "File access denied" (5), "File not found" (2), "Invalid filename" (3), else "I/O error %d".
QString inOutErrorText(int errorCode);

// The platform error code for a C library errno value.
int platformErrorFromErrno(int errnoValue);

}  // namespace selvanix
