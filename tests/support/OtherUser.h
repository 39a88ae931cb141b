#pragma once

#include <QByteArray>
#include <functional>

namespace selvanix::test {

// The unprivileged account the tests switch to when they run as root.
inline constexpr unsigned kNobody = 65534;

// Runs body in a forked child as user and group nobody when the tests run as root (as the
// current user otherwise) and returns what it returned; "<crashed>" when the child died.
// Folders the child must reach are made by the test (TestDrives' folders are reachable).
QByteArray runAsOtherUser(const std::function<QByteArray()>& body);

}  // namespace selvanix::test
