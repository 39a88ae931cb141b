#pragma once

#include <QByteArray>

namespace selvanix::fuzz {

// Opens the bytes as an archive, lists it and decodes every entry into a counting sink with
// a fixed password; every archiver error is an expected outcome. Returns the entry count.
int exerciseArchive(const QByteArray& bytes);

}  // namespace selvanix::fuzz
