// The delta of an update: found through the signed release index beside the package, fetched
// only when it starts from the archive this copy kept, and opened only once its size and hash
// are the index's.
#include "FailureDetail.h"
#include "InstallEngine.h"
#include "archive/EntryDeflate.h"
#include "config/PackageSignature.h"
#include "config/PublisherKey.h"
#include "config/ReleaseIndex.h"
#include "delta/ArchiveDelta.h"
#include "delta/ResumableDownload.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/handles/File.h"
#include "platform/handles/FolderHandle.h"
#include "platform/handles/StagedFile.h"

#include <QDate>
#include <QFile>

namespace selvanix {

namespace {

// The SHA-256 of the archive kept from the last installation, opened as the assembly opens
// it (never through a link); nothing without one.
std::optional<QByteArray> keptArchiveSha(const QString& folder, const PackageNames& names) {
    const std::optional<platform::FolderHandle> own =
        platform::FolderHandle::openHost(QFile::encodeName(platform::toHostPath(folder)));
    const std::optional<platform::File> kept =
        own ? own->openForReading(keptArchiveName(names.archive)) : std::nullopt;
    return kept ? signing::sha256OfFile(*kept) : std::nullopt;
}

}  // namespace

std::optional<ReleaseIndex> InstallEngine::trustedIndex(
    const QByteArray& text, const PackageNames& names, const PackageDescriptor& descriptor,
    const std::vector<signing::PublicKey>& keys) {
    std::optional<ReleaseIndex> index = readReleaseIndex(text, names.signedStem.toUtf8(), keys);
    // The index must speak of the archive this descriptor signs, or it is another release's.
    if (index && selvanix::checkPackage(descriptor, names.signedStem, index->archive, keys,
                                        QDate::currentDate()) != PackageCheck::Verified) {
        log(QStringLiteral("%1: names another archive than the descriptor")
                .arg(releaseIndexName(names.archive)));
        return std::nullopt;
    }
    return index;
}

// The signed index, when the server has one that names this very package; read quietly, as
// most servers have none. Under a name of this run's own: a check may fetch it beside an
// installation.
std::optional<InstallEngine::FetchedIndex> InstallEngine::fetchReleaseIndex(
    const QString& baseUrl, const PackageNames& names, const PackageDescriptor& descriptor,
    const std::vector<signing::PublicKey>& keys) {
    const FetchedBytes fetched = fetchSmallFile(fetcher_, baseUrl + releaseIndexName(names.archive),
                                                platform::installerFolder(), kMaxReleaseIndexBytes);
    std::optional<ReleaseIndex> index =
        fetched.bytes ? trustedIndex(*fetched.bytes, names, descriptor, keys) : std::nullopt;
    return index ? std::optional<FetchedIndex>({std::move(*index), fetched.result.size})
                 : std::nullopt;
}

DeltaFetched InstallEngine::fetchDelta(const QString& baseUrl, const PackageNames& names,
                                       const QString& keys,
                                       const std::optional<PackageDescriptor>& descriptor) {
    const PublisherKey publisher = PublisherKey::fromText(keys);
    const QString folder = platform::installerFolder();
    const std::optional<QByteArray> kept = keptArchiveSha(folder, names);
    if (!publisher.required || !descriptor || !descriptor->podpis || !kept || stop_) {
        return {};
    }
    const std::optional<FetchedIndex> fetchedIndex =
        fetchReleaseIndex(baseUrl, names, *descriptor, publisher.keys);
    if (!fetchedIndex) {
        return {};
    }
    const ReleaseIndex* index = &fetchedIndex->index;
    const IndexedDelta* delta = index->deltaFrom(*kept);
    if (delta == nullptr || index->deflate != deflateRecipe()) {
        log(delta == nullptr ? QStringLiteral("no delta from the kept archive")
                             : QStringLiteral("the delta's deflate is not ours: %1")
                                   .arg(QString::fromUtf8(index->deflate)));
        return {};
    }
    const QString name = QString::fromUtf8(delta->name);
    // A delta cut or stopped on its way goes on from its bytes the next time.
    const QString hostFolder = platform::toHostPath(folder);
    const FetchResult fetched = fetchShown(fetcher_, observer_,
                                           {.url = baseUrl + name,
                                            .folder = folder,
                                            .name = name,
                                            .sizeLimit = static_cast<qint64>(delta->size),
                                            .assembly = resumableDownload(hostFolder, name)});
    if (fetched.complete) {
        forgetResumable(hostFolder, name);
    }
    std::optional<VerifiedDelta> opened =
        fetched.complete
            ? openVerifiedDelta(folder + name, delta->size, delta->sha256, index->entries)
            : std::nullopt;
    // Open, it needs no name: nothing can change what was checked.
    platform::deleteFile(folder + name);
    log(opened ? QStringLiteral("%1: %2 bytes").arg(name).arg(delta->size)
               : QStringLiteral("%1: not used (%2)")
                     .arg(name, fetched.complete ? QStringLiteral("not the one the index names")
                                                 : fetched.problem));
    if (!opened) {
        return {};
    }
    return {std::make_shared<const VerifiedDelta>(std::move(*opened)),
            fetchedIndex->bytes + static_cast<qint64>(delta->size)};
}

}  // namespace selvanix
