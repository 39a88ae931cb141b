#include "Exception.h"

#include <cerrno>

namespace selvanix {

Exception::Exception(QString message)
    : message_(std::move(message)), utf8_(message_.toUtf8().toStdString()) {}

EInOutError::EInOutError(int errorCode)
    : Exception(inOutErrorText(errorCode)), errorCode_(errorCode) {}

QString inOutErrorText(int errorCode) {
    switch (errorCode) {
        case 2:
            return QStringLiteral("File not found");
        case 3:
            return QStringLiteral("Invalid filename");
        case 5:
            return QStringLiteral("File access denied");
        default:
            return QStringLiteral("I/O error %1").arg(errorCode);
    }
}

int platformErrorFromErrno(int errnoValue) {
    switch (errnoValue) {
        case 0:
            return 0;
        case ENOENT:
            return 2;  // file not found
        case ENOTDIR:
        case ELOOP:
            return 3;  // path not found
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return 5;  // access denied
        case EMFILE:
        case ENFILE:
            return 4;  // too many open files
        case ENOMEM:
            return 8;
        case EBUSY:
        case ETXTBSY:
            return 32;  // sharing violation
        case EEXIST:
            return 80;
        case EINVAL:
            return 87;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return 112;  // disk full
        case ENAMETOOLONG:
            return 206;
        case ENXIO:
        case ENODEV:
        case ENOMEDIUM:
            return 21;  // drive not ready
        default:
            return 1117;  // device I/O error
    }
}

}  // namespace selvanix
