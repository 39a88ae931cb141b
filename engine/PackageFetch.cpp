#include "FailureDetail.h"
#include "InstallEngine.h"
#include "config/PackageSignature.h"
#include "config/PublisherKey.h"
#include "delta/ArchiveDelta.h"
#include "net/WebHTTPGet.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "profile/PrivateProfile.h"

namespace selvanix {

namespace {

// A portal's page saved beside it under another name is not the file.
bool savedAs(const net::WebHTTPGet& get, const QString& name) {
    const net::DownloadResult result = get.Result();
    return result.saved && result.name == name;
}

// Deletes the old copy, downloads a fresh one and tells whether the file is there now, also
// when the download threw; a download that left no file says why in `problem`.
void fetchOne(RunObserver& observer, net::WebHTTPGet& get, const QString& baseUrl,
              const QString& name, bool& present, QString& problem) {
    get.URL = baseUrl + name;
    get.DestinationName = name;
    platform::deleteFile(get.DownloadDir + get.DestinationName);
    bool finished = true;
    try {
        finished = observer.download(get);
    } catch (...) {
        present = savedAs(get, name);
        throw;
    }
    present = savedAs(get, name);
    if (!present && problem.isEmpty()) {
        problem = downloadFailure(get, finished, name);
    }
}

}  // namespace

PackageFetched InstallEngine::kopirujzWebu(const QString& baseUrl, const PackageNames& names,
                                           const QString& keys) {
    PackageFetched fetched;
    get_.Resume = true;
    get_.DownloadDir = platform::installerFolder();
    // A descriptor is a small profile file: more than a profile may hold is not even fetched.
    get_.DownloadParams.SizeLimit = kMaxProfileBytes;
    try {
        fetchOne(observer_, get_, baseUrl, names.descriptor, fetched.descriptor, fetched.problem);
    } catch (...) {
        get_.DownloadParams.SizeLimit = 0;
        throw;
    }
    get_.DownloadParams.SizeLimit = 0;
    if (stop_) {
        return fetched;
    }
    const QString folder = platform::toHostPath(get_.DownloadDir);
    get_.Assembly =
        archiveDelta(folder, names.archive,
                     fetched.descriptor ? signedArchiveCheck(names, keys) : ArchiveHashCheck{});
    fetchOne(observer_, get_, baseUrl, names.archive, fetched.archive, fetched.problem);
    if (!fetched.archive) {
        return fetched;
    }
    keepArchive(folder, names.archive);
    if (const net::DownloadResult result = get_.Result(); result.reused > 0) {
        log(QStringLiteral("%1: %2 of %3 bytes fetched, the rest from the last archive")
                .arg(names.archive)
                .arg(result.size - result.reused)
                .arg(result.size));
        observer_.archiveReused(result.size - result.reused, result.size);
    }
    return fetched;
}

// With a publisher key, an assembled archive must be the one the fetched descriptor's
// signature names; without one (or an unsigned descriptor, which the run refuses anyway) the
// assembly checks what it reuses by CRC.
ArchiveHashCheck InstallEngine::signedArchiveCheck(const PackageNames& names,
                                                   const QString& keys) const {
    const PublisherKey publisher = PublisherKey::fromText(keys);
    if (!publisher.required) {
        return {};
    }
    PackageDescriptor descriptor = readPackageDescriptor(get_.DownloadDir + names.descriptor);
    if (!descriptor.podpis) {
        return {};
    }
    return [descriptor = std::move(descriptor), stem = names.stem,
            keys = publisher.keys](const QByteArray& sha256) {
        const PackageCheck check =
            selvanix::checkPackage(descriptor, stem, sha256, keys, QDate::currentDate());
        return check == PackageCheck::Verified || check == PackageCheck::Expired;
    };
}

}  // namespace selvanix
