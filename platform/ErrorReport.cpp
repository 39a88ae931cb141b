#include "ErrorReport.h"

#include "Dialogs.h"
#include "Exception.h"

#include <cstdio>

namespace selvanix::platform {

QString errorReportText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.') {
        return message + u'.';
    }
    return message;
}

void reportError(const QString& message) noexcept {
    try {
        dialogs().errorReport(QString::fromUtf16(kApplicationTitle), errorReportText(message));
    } catch (...) {
        std::fprintf(stderr, "Selvanix: %s\n", qUtf8Printable(message));
    }
}

void reportError(const std::exception& error) noexcept {
    if (const auto* own = dynamic_cast<const Exception*>(&error)) {
        reportError(own->message());
    } else {
        reportError(QString::fromUtf8(error.what()));
    }
}

}  // namespace selvanix::platform
