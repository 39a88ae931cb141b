#include "FailureDetail.h"
#include "InstallEngine.h"
#include "config/PackageSignature.h"
#include "config/PublisherKey.h"
#include "delta/ArchiveDelta.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "profile/PrivateProfile.h"

namespace selvanix {

namespace {

// With a publisher key, an assembled archive must be the one the fetched descriptor's
// signature names; without one (or an unsigned descriptor, which the run refuses anyway) the
// assembly checks what it reuses by CRC.
ArchiveHashCheck signedArchiveCheck(const std::optional<PackageDescriptor>& descriptor,
                                    const PackageNames& names, const QString& keys) {
    const PublisherKey publisher = PublisherKey::fromText(keys);
    if (!publisher.required || !descriptor || !descriptor->podpis) {
        return {};
    }
    return [descriptor = *descriptor, stem = names.signedStem,
            keys = publisher.keys](const QByteArray& sha256) {
        const PackageCheck check =
            selvanix::checkPackage(descriptor, stem, sha256, keys, QDate::currentDate());
        return check == PackageCheck::Verified || check == PackageCheck::Expired;
    };
}

}  // namespace

PackageFetched InstallEngine::kopirujzWebu(const QString& baseUrl, const PackageNames& names,
                                           const QString& keys) {
    const QString folder = platform::installerFolder();
    const auto fetch = [&](const QString& name, qint64 sizeLimit,
                           std::shared_ptr<net::BodyAssembly> assembly) {
        return fetchShown(fetcher_, observer_,
                          {.url = baseUrl + name,
                           .folder = folder,
                           .name = name,
                           .sizeLimit = sizeLimit,
                           .resume = true,
                           .assembly = std::move(assembly)});
    };
    PackageFetched fetched;
    // A descriptor is a small profile file: more than a profile may hold is not even fetched.
    const FetchResult descriptor = fetch(names.descriptor, kMaxProfileBytes, nullptr);
    fetched.descriptor = descriptor.saved;
    fetched.problem = descriptor.problem;
    if (descriptor.saved) {
        fetched.read = readPackageDescriptor(folder + names.descriptor);
    }
    if (stop_) {
        return fetched;
    }
    const QString hostFolder = platform::toHostPath(folder);
    const DeltaFetched delta = fetchDelta(baseUrl, names, keys, fetched.read);
    const FetchResult archive =
        fetch(names.archive, 0,
              archiveDelta(hostFolder, names.archive, signedArchiveCheck(fetched.read, names, keys),
                           kDeltaMergeGap, delta.delta));
    fetched.archive = archive.saved;
    if (fetched.problem.isEmpty()) {
        fetched.problem = archive.problem;
    }
    if (!archive.saved) {
        return fetched;
    }
    keepArchive(hostFolder, names.archive);
    if (archive.reused > 0) {
        // What came over the wire for it: its ranges, and the delta that rebuilt the rest.
        const qint64 came = archive.size - archive.reused + delta.bytes;
        log(QStringLiteral("%1: %2 of %3 bytes fetched (%4 of them a delta), the rest from the "
                           "last archive")
                .arg(names.archive)
                .arg(came)
                .arg(archive.size)
                .arg(delta.bytes));
        observer_.archiveReused(came, archive.size, delta.bytes);
    }
    return fetched;
}

}  // namespace selvanix
