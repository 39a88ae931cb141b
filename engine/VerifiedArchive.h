#pragma once

#include "platform/handles/File.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace selvanix {

// The archive a run checks and extracts, opened once. When nobody but this user can change the
// file, it is the open file itself; otherwise a private copy made while hashing. Either way
// every target is extracted from the bytes that were hashed, and a file changed or replaced by
// name afterwards changes nothing that is installed.
struct VerifiedArchive {
    std::shared_ptr<const platform::File> file;
    QByteArray sha256;  // lowercase hex
};

// Nothing when the archive cannot be read.
std::optional<VerifiedArchive> openVerifiedArchive(const QString& path);

}  // namespace selvanix
