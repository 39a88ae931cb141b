#pragma once

#include "archive/ZipDirectory.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace selvanix {

namespace platform {
class File;
}

// What a patch works on: an entry's bytes, read through the layout of an open archive. Nothing
// for an encrypted entry, a method other than stored or deflated, one larger than limit, or
// data that does not come out at its size and CRC-32.
std::optional<QByteArray> entryCompressed(const platform::File& archive, const ZipLayout& layout,
                                          std::size_t entry, std::uint64_t limit);
std::optional<QByteArray> entryContents(const platform::File& archive, const ZipLayout& layout,
                                        std::size_t entry, std::uint64_t limit);

}  // namespace selvanix
