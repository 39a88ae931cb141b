#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "platform/handles/StagedFile.h"

namespace selvanix {

// Where an extraction leaves each new file under its temporary name for a later commit, as
// a target's transaction keeps them. Paths are where the files land below the base folder,
// '/' between folders. False fails the entry.
class StagingSink {
public:
    virtual ~StagingSink() = default;
    // The tag of the temporary names: a rerun finds its own files by it.
    virtual QByteArray tag() const = 0;
    // Before the file is made.
    virtual bool staging(const QString& path) = 0;
    // The file is whole under its temporary name: the entry was installed with this size and
    // CRC-32.
    virtual bool staged(const QString& path, const platform::StagedIdentity& file,
                        std::uint64_t size, std::uint32_t crc) = 0;

protected:
    StagingSink() = default;
    StagingSink(const StagingSink&) = default;
    StagingSink& operator=(const StagingSink&) = default;
};

}  // namespace selvanix
