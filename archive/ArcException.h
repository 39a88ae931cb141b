#pragma once

#include "platform/Exception.h"

#include <QString>

namespace selvanix {

// Native error numbers of the archiver.
enum ArcNativeError : int {
    ARC_ERROR_INVALID_DATA = 8,  // size, check sum or method
    ARC_ERROR_BLANK_NAME = 10,
    ARC_ERROR_FILE_NOT_FOUND = 12,
    ARC_ERROR_NOT_OPEN = 13,
    ARC_ERROR_BAD_INDEX = 16,
    ARC_ERROR_CANNOT_CREATE_FILE = 19,
    ARC_ERROR_CANNOT_CREATE_DIR = 20,
    ARC_ERROR_IN_UPDATE = 26,
    ARC_ERROR_INVALID_ARCHIVE = 35,
    ARC_ERROR_NO_ZIP64_END = 40,
    ARC_ERROR_MULTI_VOLUME = 44,
    ARC_ERROR_OPEN_ABORTED = 45,
    ARC_ERROR_DEFLATE64 = 55,
    ARC_ERROR_PROCESSING_ABORTED = 61,  // the user may only skip the entry or abort
    ARC_ERROR_DISK_FULL = 65,
};

// The archiver's error: "<component>: <text> - Native error: 00008".
class EArcException : public Exception {
public:
    EArcException(QString message, int nativeError, int errorCode, int osError = 0);
    int NativeError() const noexcept { return nativeError_; }
    int ErrorCode() const noexcept { return errorCode_; }
    // The system's error number when the failure was raised (errno), which tells a full disk
    // from a refused permission where the native number cannot; 0 when none.
    int OsError() const noexcept { return osError_; }

private:
    int nativeError_;
    int errorCode_;
    int osError_;
};

// The message table; index 0 is "Unknown error".
const QString& ArcErrorMessages(int errorCode);
// The message index of a native number; 0 for numbers the table does not know.
int ArcNativeToErrorCode(int nativeError);

// Formats and raises an archiver error. The component name goes in front when not empty;
// argument fills the text's %s.
[[noreturn]] void raiseArcError(int nativeError, const QString& componentName = QString(),
                                const QString& argument = QString());

}  // namespace selvanix
