#pragma once

#include <QString>
#include <exception>

namespace selvanix::platform {

inline constexpr char16_t kApplicationTitle[] = u"Selvanix";

// The report's text: the message, with a full stop when its last character sorts after '.'.
QString errorReportText(const QString& message);

// Shows an error that no handler caught, through the installed dialogs; never throws.
void reportError(const std::exception& error) noexcept;
void reportError(const QString& message) noexcept;

}  // namespace selvanix::platform
