#pragma once

#include <QStringList>

namespace selvanix::publish {

// Exit codes: 0 done (or verified), 1 failed (a one-line reason on standard error), 2 usage.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

int keygen(const QStringList& arguments);
int package(const QStringList& arguments);
int sign(const QStringList& arguments);
int verify(const QStringList& arguments);
int keyChange(const QStringList& arguments);
int diff(const QStringList& arguments);

// Prints "selvanix-publish: <message>" on standard error and returns code.
int report(int code, const QString& message);
// A one-line warning on standard error.
void warn(const QString& message);

}  // namespace selvanix::publish
