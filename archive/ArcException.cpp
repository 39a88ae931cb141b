#include "ArcException.h"

#include <cerrno>

#include "platform/Paths.h"

#include <array>
#include <utility>

namespace selvanix {

namespace {

// Message texts; a native number reaches them through kNativeToCode.
const std::array<const char*, 16> kMessages{
    "Unknown error",
    "Invalid size or check sum of file or unsupported compression format",
    "File name is blank. Specify appropriate file name",
    "File \"%s\" not found",
    "Archive is not open",
    "Invalid file index",
    "Cannot create file \"%s\"",
    "Cannot create directory \"%s\"",
    "Cannot perform this operation while the archive is being updated",
    "Invalid archive file.",
    "Cannot find 64-bit directory end record",
    "Cannot open archive file. Opening aborted or invalid file",
    "Deflate64 compression method is not supported",
    "Disk is full. There is not enough free space on disk.",
    "File processing was aborted",
};

const std::array<std::pair<int, int>, 15> kNativeToCode{{
    {ARC_ERROR_INVALID_DATA, 1},
    {ARC_ERROR_BLANK_NAME, 2},
    {ARC_ERROR_FILE_NOT_FOUND, 3},
    {ARC_ERROR_NOT_OPEN, 4},
    {ARC_ERROR_BAD_INDEX, 5},
    {ARC_ERROR_CANNOT_CREATE_FILE, 6},
    {ARC_ERROR_CANNOT_CREATE_DIR, 7},
    {ARC_ERROR_IN_UPDATE, 8},
    {ARC_ERROR_INVALID_ARCHIVE, 9},
    {ARC_ERROR_NO_ZIP64_END, 10},
    {ARC_ERROR_MULTI_VOLUME, 11},
    {ARC_ERROR_OPEN_ABORTED, 11},
    {ARC_ERROR_DEFLATE64, 12},
    {ARC_ERROR_DISK_FULL, 13},
    {ARC_ERROR_PROCESSING_ABORTED, 14},
}};

}  // namespace

EArcException::EArcException(QString message, int nativeError, int errorCode, int osError)
    : Exception(std::move(message)),
      nativeError_(nativeError),
      errorCode_(errorCode),
      osError_(osError) {}

const QString& ArcErrorMessages(int errorCode) {
    static const std::array<QString, kMessages.size()> texts = [] {
        std::array<QString, kMessages.size()> t;
        for (size_t i = 0; i < kMessages.size(); ++i) {
            t[i] = QString::fromLatin1(kMessages[i]);
        }
        return t;
    }();
    const size_t i = errorCode >= 0 && static_cast<size_t>(errorCode) < texts.size()
                         ? static_cast<size_t>(errorCode)
                         : 0;
    return texts[i];
}

int ArcNativeToErrorCode(int nativeError) {
    for (const auto& [native, code] : kNativeToCode) {
        if (native == nativeError) {
            return code;
        }
    }
    return 0;
}

void raiseArcError(int nativeError, const QString& componentName, const QString& argument) {
    const int osError = errno;  // before anything here can change it
    const int code = ArcNativeToErrorCode(nativeError);
    QString text = ArcErrorMessages(code);
    text.replace(QStringLiteral("%s"), platform::displayPath(argument));
    QString message = componentName.isEmpty() ? text : componentName + QStringLiteral(": ") + text;
    message += QStringLiteral(" - Native error: ") +
               QStringLiteral("%1").arg(nativeError, 5, 10, QLatin1Char('0'));
    throw EArcException(message, nativeError, code, osError);
}

}  // namespace selvanix
