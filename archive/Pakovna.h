#pragma once

#include "ArcException.h"
#include "BaseArchiver.h"
#include "StagingSink.h"
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

#include <sys/stat.h>
#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>

namespace selvanix {

enum TArcStorePath { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TArcOverwriteMode { omPrompt = 0, omAlways = 1, omNever = 2, omIfNewer = 3, omIfOlder = 4 };
enum TArcShareMode {
    smShareCompat,
    smShareExclusive,
    smShareDenyWrite,
    smShareDenyRead,
    smShareDenyNone
};
enum TArcSpanningMode { smNone, smSpanning, smSplitting };
enum TArcZip64Mode { zmDisabled, zmAuto, zmAlways };
enum TArcAction { fxaRetry = 0, fxaIgnore = 1, fxaAbort = 2 };

inline constexpr std::uint32_t DefaultSearchAttr = 10431;  // hex 28BF
inline constexpr std::uint16_t kCreateArchiveMode = 0xFF00;

struct TArcOptions {
    TArcStorePath StorePath = spRelativePath;
    bool Recurse = true;
    TArcOverwriteMode OverwriteMode = omAlways;
    bool CreateDirs = true;
    bool ReplaceReadOnly = true;
    bool SetAttributes = true;
    std::uint32_t SearchAttr = DefaultSearchAttr;
    TArcShareMode ShareMode = smShareDenyNone;
    bool FlushBuffers = true;
    bool OEMFileNames = true;
};

class TPakovna;

using TArcConfirmProcessFileEvent = std::function<void(
    TPakovna& sender, const QString& fileName, TArcProcessOperation operation, bool& confirm)>;
using TArcExtractFileEvent = std::function<void(
    TPakovna& sender, QString& fileName, std::uint32_t& fileAttr, const QByteArray& comment)>;
using TArcConfirmOverwriteEvent = std::function<void(
    TPakovna& sender, const QString& sourceFileName, QString& destFileName, bool& confirm)>;
using TArcProcessFileFailureEvent = std::function<void(
    TPakovna& sender, const QString& fileName, TArcProcessOperation operation, int nativeError,
    int errorCode, const QString& errorMessage, TArcAction& action)>;

// The ZIP archiver component: opens an archive and extracts the entries a mask selects below
// a base folder, never outside it.
class TPakovna : public TArcBaseArchiver {
public:
    explicit TPakovna(QString name = QStringLiteral("Pakovna"));

    QString BaseDir;
    TArcOptions Options;
    TArcSpanningMode SpanningMode = smNone;
    TArcZip64Mode Zip64Mode = zmDisabled;
    bool InMemory = false;

    TArcConfirmProcessFileEvent OnConfirmProcessFile;
    TArcExtractFileEvent OnExtractFile;
    TArcConfirmOverwriteEvent OnConfirmOverwrite;      // unassigned: the overwrite dialog
    TArcProcessFileFailureEvent OnProcessFileFailure;  // unassigned: the failure dialog
    // While OnProcessFileFailure runs: the system's error number of that failure, 0 when none.
    int FailureOsError() const { return failureOsError_; }
    std::function<void(TPakovna& sender)> AfterOpen;

    // Opens FileName for reading (any mode but 0xFF00) and loads its directory.
    void OpenArchive(std::uint16_t mode);
    // Opens the archive through file (one that was checked), never by FileName, which then
    // only names it.
    void OpenArchiveFile(const platform::File& file);
    // The folder BaseDir lies below, reached as its path says; the rest of BaseDir is entered
    // from it like an entry's folders, never through a link. Empty: BaseDir itself.
    void SetBaseAnchor(QString anchor) { baseAnchor_ = std::move(anchor); }
    // Set, each new file is left under its temporary name for sink (not owned) to commit.
    // Unset, each file replaces its old one as soon as it is whole.
    void StageInto(StagingSink* sink) { staging_ = sink; }
    void ExtractFiles(const QString& fileMask, std::uint32_t searchAttr = DefaultSearchAttr,
                      const QString& exclusionMask = QString());
    // Extracts exactly the entries select takes.
    void ExtractEntries(const std::function<bool(const TDirItem&)>& select);
    // Where an entry of that name lands below the base folder, '/' between folders ("." and
    // ".." resolved), as a staging sink is told; nothing when it may land nowhere.
    static std::optional<QString> landingPath(const QString& entryName);
    // Tags the entries ExtractFiles would extract, extracting nothing.
    void TagFiles(const QString& fileMask, std::uint32_t searchAttr = DefaultSearchAttr,
                  const QString& exclusionMask = QString());
    void CloseArchive() noexcept;
    bool Active() const { return isOpen(); }

    // The answer to a failed entry when no failure event is assigned: the failure dialog.
    static TArcAction askFailureAction(int nativeError, const QString& message);

private:
    bool entryPasses(const TDirItem& item, const QString& mask, const QString& exclusion,
                     std::uint32_t searchAttr) const;
    void processTagged();
    void extractToFile(int index, const QString& fileName, const QString& baseDir);
    bool mayReplace(const TDirItem& item, const struct stat& existing, const QString& f,
                    const QString& target);
    void writeEntry(int index, std::uint32_t attributes, const platform::FolderHandle& folder,
                    const QByteArray& leaf, const QString& f, const QString& target);
    // The folder of an entry below the base folder, entered without following links.
    const platform::FolderHandle& folderFor(const QString& baseDir, const QString& folderPart,
                                            const QString& target);
    void openBaseFolder(const QString& baseDir, const QString& target);
    // Enters components one by one from start; kept holds the last folder entered.
    const platform::FolderHandle& enterBelow(const platform::FolderHandle& start,
                                             const QStringList& components,
                                             const QString& walkedFrom, const QString& target,
                                             std::optional<platform::FolderHandle>& kept);
    TArcAction failureAction(const QString& fileName, const EArcException& error);
    int failureOsError_ = 0;
    bool confirmOverwrite(const QString& source, QString& dest);
    QString currentDir();

    QString FCurrentDir;
    QString baseAnchor_;
    StagingSink* staging_ = nullptr;
    // Opened for one ExtractFiles call: the base folder and the folders of the last entries,
    // most recently used first.
    static constexpr std::size_t kKeptFolders = 8;
    std::optional<platform::FolderHandle> baseFolder_;
    QString baseFolderPath_;
    std::list<std::pair<QString, platform::FolderHandle>> folders_;
    unsigned umask_ = 022;
    QTimeZone localZone_;
};

}  // namespace selvanix
