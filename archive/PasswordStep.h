#pragma once

#include "AesDecryptor.h"
#include "TraditionalCipher.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace selvanix {

class TArcBaseArchiver;
class ArchiveStream;
struct TDirItem;
struct TArcZipLocalHeader;

// The decryption an entry's data needs once the password has passed its check.
struct EntryDecryption {
    std::optional<TraditionalCipher> traditional;
    std::unique_ptr<AesDecryptor> aes;
    qint64 headerLength = 0;   // bytes in front of the data
    qint64 trailerLength = 0;  // bytes behind it
};

// The password dialog: the typed password in the ANSI code page, or skip set on Cancel.
void askPasswordDialog(const QString& entryName, QByteArray& password, bool& skip);

// Asks for the password until it passes the entry's check or the user skips the entry
// (archiver.FSkipFile). Nothing when the encryption header cannot be read or the AES
// strength is unknown.
std::optional<EntryDecryption> passwordStep(TArcBaseArchiver& archiver, const ArchiveStream& stream,
                                            const TDirItem& item, const TArcZipLocalHeader& local,
                                            qint64 dataStart);

}  // namespace selvanix
