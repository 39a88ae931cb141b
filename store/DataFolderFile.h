#pragma once

#include "platform/handles/FolderHandle.h"

#include <QByteArray>
#include <vector>

namespace selvanix {

// A small list the data folder keeps: a header line naming its form, then one line per entry.
// Read within its bound and never through a link; written whole, so a reader sees the old
// list or the new one.

// The lines after the header; none when the file is missing, larger than bound, or of
// another form.
std::vector<QByteArray> readDataLines(const platform::FolderHandle& folder, const char* name,
                                      const char* header, qint64 bound);
bool writeDataLines(const platform::FolderHandle& folder, const char* name, const char* header,
                    const std::vector<QByteArray>& lines);

}  // namespace selvanix
