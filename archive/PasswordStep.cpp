#include "PasswordStep.h"

#include "ArchiveStream.h"
#include "BaseArchiver.h"
#include "DirItem.h"
#include "ZipRecords.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"

#include <array>

namespace selvanix {

namespace {

constexpr int kTraditionalHeader = 12;
constexpr int kMaxPasswordLength = 255;

// The password dialog, unless the archiver has its own password event.
void askPassword(TArcBaseArchiver& archiver, const QString& entryName, bool& skip) {
    if (archiver.OnPassword) {
        archiver.OnPassword(archiver, entryName, archiver.Password, skip);
        return;
    }
    askPasswordDialog(entryName, archiver.Password, skip);
}

}  // namespace

void askPasswordDialog(const QString& entryName, QByteArray& password, bool& skip) {
    const auto typed =
        platform::dialogs().password(QStringLiteral("Password for \"%1\"").arg(entryName),
                                     QStringLiteral("Enter password: "), kMaxPasswordLength);
    if (typed) {
        password = platform::textToAnsi(*typed);
        skip = false;
    } else {
        skip = true;
    }
}

std::optional<EntryDecryption> passwordStep(TArcBaseArchiver& archiver, const ArchiveStream& stream,
                                            const TDirItem& item, const TArcZipLocalHeader& local,
                                            qint64 dataStart) {
    EntryDecryption result;
    if (item.ArcEncryptionAlgorithm == caPkzipClassic) {
        std::array<unsigned char, kTraditionalHeader> stored{};
        if (!stream.readExactly(dataStart, stored.data(), stored.size())) {
            return std::nullopt;
        }
        const auto check = static_cast<unsigned char>(
            (local.genPurposeFlag & 0x0008) != 0 ? local.lastModTime >> 8 : local.crc32 >> 24);
        for (;;) {
            if (!archiver.Password.isEmpty()) {
                TraditionalCipher cipher(archiver.Password);
                auto header = stored;
                cipher.decrypt(header.data(), header.size());
                if (header.back() == check) {
                    result.traditional.emplace(cipher);
                    result.headerLength = kTraditionalHeader;
                    return result;
                }
            }
            askPassword(archiver, item.Name, archiver.FSkipFile);
            if (archiver.FSkipFile) {
                return result;
            }
        }
    }

    const int saltLength = AesDecryptor::saltLength(item.ArcEncryptionAlgorithm);
    if (saltLength == 0) {
        return std::nullopt;
    }
    const QByteArray salt = stream.readBytes(dataStart, saltLength);
    const QByteArray verifier =
        stream.readBytes(dataStart + saltLength, AesDecryptor::kVerifierLength);
    if (salt.size() != saltLength || verifier.size() != AesDecryptor::kVerifierLength) {
        return std::nullopt;
    }
    for (;;) {
        if (!archiver.Password.isEmpty()) {
            auto aes = std::make_unique<AesDecryptor>(archiver.Password, salt,
                                                      item.ArcEncryptionAlgorithm);
            if (aes->valid() && aes->verifier() == verifier) {
                result.aes = std::move(aes);
                result.headerLength = saltLength + AesDecryptor::kVerifierLength;
                result.trailerLength = AesDecryptor::kCodeLength;
                return result;
            }
        }
        askPassword(archiver, item.Name, archiver.FSkipFile);
        if (archiver.FSkipFile) {
            return result;
        }
    }
}

}  // namespace selvanix
