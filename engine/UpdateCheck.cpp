// The check for updates reads only each product's descriptor (and the key statements): an
// archive is fetched by an installation, which the user starts.
#include "UpdateCheck.h"

#include "FailureDetail.h"
#include "InstallEngine.h"
#include "ProductTable.h"
#include "Rollout.h"
#include "config/PackageSignature.h"
#include "config/PackageVersion.h"
#include "config/PublisherKey.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/handles/File.h"
#include "platform/handles/StagedFile.h"
#include "profile/PrivateProfile.h"
#include "store/SeenReleases.h"

#include <QDate>
#include <QFileInfo>
#include <algorithm>
#include <map>

namespace selvanix {

TargetUpdate::Status updateStatus(const Manifest& record, const ProductRelease& release,
                                  int bucket) {
    if (!release.descriptor) {
        return TargetUpdate::Status::Unknown;
    }
    const QString available = release.descriptor->verze.value_or(QString());
    if (compareVersions(available, record.version) != VersionOrder::Newer) {
        return TargetUpdate::Status::Current;
    }
    return inRollout(bucket, release.rollout) ? TargetUpdate::Status::Newer
                                              : TargetUpdate::Status::Rollout;
}

// The share the release's signed index offers it to; everyone without one.
int InstallEngine::rolloutShare(const RunRequest& request, const PackageNames& names,
                                const PackageDescriptor& descriptor,
                                const std::vector<signing::PublicKey>& keys) {
    std::optional<ReleaseIndex> index;
    if (request.source == PackageSource::Folder) {
        const std::optional<QByteArray> text = platform::File::readWithin(
            request.packageFolder + u'\\' + releaseIndexName(names.archive), kMaxReleaseIndexBytes);
        index = text ? trustedIndex(*text, names, descriptor, keys) : std::nullopt;
    } else if (std::optional<FetchedIndex> fetched =
                   fetchReleaseIndex(request.packageUrl(), names, descriptor, keys)) {
        index = std::move(fetched->index);
    }
    return index && index->rollout ? *index->rollout : 100;
}

Step<PackageDescriptor> InstallEngine::fetchDescriptor(const RunRequest& request,
                                                       const PackageNames& names) {
    const auto missing = [&](const QString& reason) {
        return RunResult{RunOutcome::NoPackage, reason};
    };
    if (request.source == PackageSource::Folder) {
        const QString path = request.packageFolder + u'\\' + names.descriptor;
        if (!platform::fileExists(path)) {
            return missing(missingPackageFile(request.packageFolder, names.descriptor));
        }
        if (QFileInfo(platform::toHostPath(path)).size() > kMaxProfileBytes) {
            return missing(oversizedDescriptor(request.packageFolder, names.descriptor));
        }
        return readPackageDescriptor(path);
    }
    FetchedBytes fetched;
    try {
        fetched = fetchSmallFile(fetcher_, request.packageUrl() + names.descriptor,
                                 platform::installerFolder(), kMaxProfileBytes);
    } catch (const std::exception& error) {
        fetched.result.problem = QString::fromUtf8(error.what());
    }
    if (fetched.result.saved && fetched.result.complete) {
        return parsePackageDescriptor(fetched.bytes.value_or(QByteArray()));
    }
    return missing(fetched.result.problem.isEmpty()
                       ? missingPackageFile(request.packageUrl(), names.descriptor)
                       : fetched.result.problem);
}

ProductRelease InstallEngine::productRelease(const RunRequest& request, const QString& stem,
                                             const PublisherKey& publisher) {
    ProductRelease release{stem};
    const PackageNames names = PackageNames::of(productByStem(stem)->code, request.channel);
    Step<PackageDescriptor> fetched = fetchDescriptor(request, names);
    if (const RunResult* missing = std::get_if<RunResult>(&fetched)) {
        release.failure = missing->outcome;
        release.problem = missing->reason;
        return release;
    }
    std::optional<PackageDescriptor> descriptor = std::move(std::get<PackageDescriptor>(fetched));
    if (publisher.required) {
        const PackageCheck check =
            checkDescriptor(*descriptor, names.signedStem, publisher.keys, QDate::currentDate());
        if (check != PackageCheck::Verified) {
            release.failure = RunOutcome::Refused;
            release.problem =
                check == PackageCheck::NoArchive
                    ? QStringLiteral(
                          "Soubor %1 neuvádí kontrolní součet archivu, takže ho "
                          "nelze ověřit před stažením; vydavatel ho musí vydat znovu.")
                          .arg(names.descriptor)
                    : signatureRefusal(names, *descriptor,
                                       descriptor->archiv.value_or(QString()).toLatin1(), check)
                          .second;
            return release;
        }
    }
    // Only a verified index may hold a release back; without a key nothing is verified.
    if (publisher.required) {
        release.rollout = rolloutShare(request, names, *descriptor, publisher.keys);
    }
    release.descriptor = std::move(descriptor);
    return release;
}

AvailableUpdates InstallEngine::checkUpdates(const RunRequest& request,
                                             const std::vector<InstalledTarget>& remembered) {
    AvailableUpdates check;
    const PublisherKey publisher = PublisherKey::fromText(takeKeyStatements(request));
    check.verified = publisher.required;
    std::map<QString, ProductRelease> releases;  // each product's descriptor fetched once
    const std::optional<platform::FolderHandle> data =
        platform::FolderHandle::open(platform::installerFolder());
    SeenReleases seen = data ? SeenReleases::read(*data) : SeenReleases();
    QByteArray machineId;  // read once a rollout needs it
    for (const InstalledTarget& target : remembered) {
        TargetNow now = targetNow(target);
        TargetUpdate update{target, now.state, std::move(now.record)};
        if (update.state != TargetNow::State::Present || !productByStem(update.record->stem)) {
            update.status = TargetUpdate::Status::Gone;
            check.targets.push_back(std::move(update));
            continue;
        }
        const QString& stem = update.record->stem;
        if (!releases.contains(stem)) {
            ProductRelease& release =
                releases.emplace(stem, productRelease(request, stem, publisher)).first->second;
            if (release.descriptor) {
                release.releasedAt =
                    releasedAt(release.descriptor->datum.value_or(QString()),
                               seen.firstSeen(stem, release.descriptor->verze.value_or(QString()),
                                              QDateTime::currentDateTimeUtc()));
            }
            log(release.descriptor ? QStringLiteral("check %1: version %2")
                                         .arg(stem, release.descriptor->verze.value_or(QString()))
                                   : QStringLiteral("check %1: %2").arg(stem, release.problem));
        }
        const ProductRelease& release = releases.at(stem);
        if (release.rollout < 100 && machineId.isEmpty()) {
            machineId = rolloutMachineId();
        }
        update.status = updateStatus(
            *update.record, release,
            release.rollout < 100
                ? rolloutBucket(machineId, stem, release.descriptor->verze.value_or(QString()))
                : 0);
        update.rollout = release.rollout;
        update.problem = release.problem;
        if (release.descriptor) {
            update.availableVersion = release.descriptor->verze.value_or(QString());
            update.availableDate = release.descriptor->datum.value_or(QString());
            update.releasedAt = release.releasedAt;
        } else if (check.failure == RunOutcome::Installed) {
            check.failure = release.failure;
            check.problem = release.problem;
        }
        check.targets.push_back(std::move(update));
    }
    if (data) {
        seen.write(*data);
    }
    return check;
}

}  // namespace selvanix
