#pragma once

#include "ArchiveStream.h"
#include "DirManager.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace selvanix {

class ArcOutput;
class CheckedContent;
class Inflater;
struct EntryDataRange;
struct EntryDecryption;
struct TArcZipLocalHeader;

enum TArcProcessOperation : int {
    poAdd = 0,
    poMove = 1,
    poDelete = 2,
    poUpdate = 3,
    poExtract = 4,
    poTest = 5,
    poRename = 6,
    poChangeAttr = 7,
    poChangeComment = 8,
    poMakeSFX = 9,
    poMerge = 10,
};

enum TArcProgressPhase : int { ppStart = 0, ppProcess = 1, ppEnd = 2 };

class TArcBaseArchiver;

using TArcOverallProgressEvent =
    std::function<void(TArcBaseArchiver& sender, double progress, TArcProcessOperation operation,
                       TArcProgressPhase phase, bool& cancel)>;
using TArcFileProgressEvent =
    std::function<void(TArcBaseArchiver& sender, const QString& fileName, double progress,
                       TArcProcessOperation operation, TArcProgressPhase phase, bool& cancel)>;
using TArcPasswordEvent = std::function<void(TArcBaseArchiver& sender, const QString& fileName,
                                             QByteArray& newPassword, bool& skipFile)>;
using TArcDiskFullEvent = std::function<void(TArcBaseArchiver& sender, int volumeNumber,
                                             const QString& volumeFileName, bool& cancel)>;

// The archiver's reading side: an open archive with its directory, and the decoding of one
// entry with its password step and progress events.
class TArcBaseArchiver {
public:
    explicit TArcBaseArchiver(QString name = QStringLiteral("Pakovna"));
    virtual ~TArcBaseArchiver();
    TArcBaseArchiver(const TArcBaseArchiver&) = delete;
    TArcBaseArchiver& operator=(const TArcBaseArchiver&) = delete;

    QString Name;  // the component name in front of its error messages
    QString FileName;
    QByteArray Password;  // in the ANSI code page
    bool ExtractCorruptedFiles = false;
    bool OEMFileNames = true;
    bool OpenCorruptedArchives = true;

    TArcOverallProgressEvent OnOverallProgress;
    TArcFileProgressEvent OnFileProgress;
    TArcPasswordEvent OnPassword;  // unassigned: the password dialog
    TArcDiskFullEvent OnDiskFull;  // unassigned: native error 65

    // The working state of an operation, as event handlers see it.
    std::int64_t progress() const { return FProgress; }
    std::int64_t progressMax() const { return FProgressMax; }
    bool skippingFile() const { return FSkipFile; }
    bool cancelled() const noexcept { return FProgressCancel.load(); }
    std::uint32_t processedFileNo() const { return FProcessedFileNo; }
    std::uint32_t processedFileCount() const { return FProcessedFileCount; }
    TArcProcessOperation currentOperation() const { return FCurrentOperation; }
    // From any thread: the operation stops at its next block.
    void cancel() noexcept { FProgressCancel = true; }
    void clearCancel() noexcept { FProgressCancel = false; }
    // Where the entry decoded next stands in a batch of count, for the overall progress.
    void setBatchPosition(std::uint32_t done, std::uint32_t count) {
        FProcessedFileNo = done;
        FProcessedFileCount = count;
    }

    // Reads the directory of an open stream (the file or bytes in memory).
    void openStream(ArchiveStream stream);
    void closeStream();
    bool isOpen() const { return dir_ != nullptr; }
    TArcDirManager& directory() { return *dir_; }
    const ArchiveStream& stream() const { return *stream_; }

    // Decodes entry index into out; see the decoding rules in ExtractItem.cpp.
    void ExtractItem(int index, ArcOutput& out);

    // Forgets which parts of the archive were decoded: an entry whose data overlaps another's
    // decoded since then is refused as damaged, so a few bytes cannot be written many times.
    void beginClaims() { claims_.clear(); }

    // Raises an archiver error with this component's name in front.
    [[noreturn]] void raise(int nativeError, const QString& argument = QString()) const;
    // Fires the per-entry and overall ppProcess events for the entry being decoded.
    void fireProgress(const QString& fileName);

protected:
    std::int64_t FProgress = 0;
    std::int64_t FProgressMax = 0;
    bool FSkipFile = false;
    std::atomic<bool> FProgressCancel{false};
    bool FProgressEnabled = true;
    std::uint32_t FProcessedFileNo = 0;
    std::uint32_t FProcessedFileCount = 0;
    TArcProcessOperation FCurrentOperation = poExtract;

private:
    friend std::optional<EntryDecryption> passwordStep(TArcBaseArchiver&, const ArchiveStream&,
                                                       const TDirItem&, const TArcZipLocalHeader&,
                                                       qint64);

    // How far entry index may read from begin before it meets bytes another entry decoded;
    // nothing when begin itself lies in them.
    std::optional<std::uint64_t> claimLimit(int index, std::uint64_t begin) const;
    // Records [begin, end) as the bytes entry index's decoding consumed.
    void claim(int index, std::uint64_t begin, std::uint64_t end);
    friend class ClaimOnExit;

    // Where entry index's data lies and how far it may be read; local gets its local header.
    // Nothing when the header is not where the directory says or the start is claimed.
    std::optional<EntryDataRange> entryData(int index, const TDirItem& item,
                                            TArcZipLocalHeader& local) const;
    // Decodes entry index into out; false when its data failed or the user cancelled.
    bool decodeItem(int index, ArcOutput& out);
    // The decryption the entry's data needs (none for a plain entry), with range narrowed to
    // the data behind its header; nothing when the password step failed or the user skipped
    // the entry (FSkipFile).
    std::optional<EntryDecryption> decryptionFor(const TDirItem& item,
                                                 const TArcZipLocalHeader& local,
                                                 EntryDataRange& range);
    bool writeContent(CheckedContent& content, const TDirItem& item, ArcOutput& out);
    bool put(ArcOutput& out, const char* data, qint64 size);

    std::optional<ArchiveStream> stream_;
    // Decoded ranges by their start: their end and their entry.
    std::map<std::uint64_t, std::pair<std::uint64_t, int>> claims_;
    std::unique_ptr<TArcDirManager> dir_;
    // Decoding buffers, made at the first entry and reused: one block of compressed data and
    // one of output. Never filled before use, so small entries cost no clearing.
    std::unique_ptr<unsigned char[]> input_;
    std::unique_ptr<unsigned char[]> output_;
    std::unique_ptr<Inflater> inflater_;  // one stream state, reset for each entry
};

}  // namespace selvanix
