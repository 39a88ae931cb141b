#include "Deltas.h"

#include "archive/EntryDeflate.h"
#include "config/ReleaseIndex.h"
#include "delta/DeltaApply.h"
#include "delta/DeltaBuilder.h"
#include "platform/handles/File.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace selvanix::publish {

namespace {

std::optional<platform::File> openArchive(const QString& path) {
    return platform::File::openRegular(QFileInfo(path).absoluteFilePath());
}

// Every record of the written delta, applied to the previous archive as a client applies it.
bool rebuildsExactly(const QString& deltaPath, const platform::File& previous,
                     const platform::File& next,
                     const std::map<std::uint64_t, QByteArray>& hashes) {
    const std::optional<platform::File> delta = platform::File::openRegular(deltaPath);
    const std::optional<std::vector<PatchRecord>> records =
        delta ? PatchFile::read(*delta) : std::nullopt;
    const std::optional<ZipLayout> oldLayout = readZipLayout(previous);
    const std::optional<ZipLayout> newLayout = readZipLayout(next);
    if (!records || !oldLayout || !newLayout) {
        return false;
    }
    for (const PatchRecord& record : *records) {
        const auto& entries = newLayout->directory.entries;
        const auto entry = std::find_if(entries.begin(), entries.end(), [&](const ZipRecord& r) {
            return r.localOffset == record.newOffset;
        });
        const auto hash = hashes.find(record.newOffset);
        if (entry == entries.end() || hash == hashes.end() ||
            !rebuildEntry(*delta, record, previous, *oldLayout, *entry, hash->second,
                          [](const char*, qint64) { return true; })) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<QString> stageDeltas(const QString& newArchive, const QString& archiveName,
                                   const QByteArray& stem, const QStringList& previous,
                                   const QString& outDir, const signing::PrivateKey& key,
                                   std::optional<int> rollout, PublishedDeltas& staged) {
    const std::optional<platform::File> next = openArchive(newArchive);
    const std::optional<QByteArray> sha = next ? signing::sha256OfFile(*next) : std::nullopt;
    if (!sha) {
        return QStringLiteral("cannot read back the archive");
    }
    ReleaseIndex index;
    index.product = stem;
    index.archive = *sha;
    index.deflate = deflateRecipe();
    index.rollout = rollout;
    const QDir out(outDir);
    for (const QString& path : previous) {
        const std::optional<platform::File> old = openArchive(path);
        const std::optional<QByteArray> oldSha = old ? signing::sha256OfFile(*old) : std::nullopt;
        if (oldSha && (index.deltaFrom(*oldSha) || *oldSha == *sha)) {
            continue;  // the same release twice, or the new one itself: nothing to add
        }
        const std::optional<BuiltDelta> built = oldSha ? buildDelta(*old, *next) : std::nullopt;
        if (!built) {
            return QStringLiteral(
                       "%1: not a ZIP archive whose directory and local headers can "
                       "be read")
                .arg(path);
        }
        const QByteArray name = archiveName.toUtf8() + ".from-" + oldSha->left(16) + ".delta";
        auto file = std::make_unique<OutputFile>(out.absoluteFilePath(QString::fromUtf8(name)));
        if (!file->open() || file->file().write(built->bytes) != built->bytes.size() ||
            !file->file().flush()) {
            return QStringLiteral("cannot write %1").arg(file->finalPath());
        }
        if (!rebuildsExactly(file->temporaryPath(), *old, *next, built->hashes)) {
            return QStringLiteral(
                       "%1: the delta does not rebuild the archive (is this zlib the "
                       "one that wrote it?)")
                .arg(path);
        }
        index.entries.insert(built->hashes.begin(), built->hashes.end());
        index.deltas.push_back(
            {*oldSha, name, static_cast<std::uint64_t>(built->bytes.size()),
             QCryptographicHash::hash(built->bytes, QCryptographicHash::Sha256).toHex()});
        staged.files.push_back(std::move(file));
    }
    auto indexFile =
        std::make_unique<OutputFile>(out.absoluteFilePath(releaseIndexName(archiveName)));
    const QByteArray text = index.text(key);
    if (!indexFile->open() || indexFile->file().write(text) != text.size() ||
        !indexFile->file().flush()) {
        return QStringLiteral("cannot write %1").arg(indexFile->finalPath());
    }
    staged.files.push_back(std::move(indexFile));
    return std::nullopt;
}

}  // namespace selvanix::publish
