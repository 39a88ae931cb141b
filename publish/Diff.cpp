#include "Commands.h"
#include "Options.h"
#include "delta/DeltaBuilder.h"
#include "delta/DeltaPlan.h"
#include "platform/handles/File.h"

#include <QFileInfo>
#include <cstdio>

namespace selvanix::publish {

namespace {

std::optional<ZipLayout> layoutOf(const QString& path, std::optional<platform::File>& file) {
    file = platform::File::openRegular(QFileInfo(path).absoluteFilePath());
    return file ? readZipLayout(*file) : std::nullopt;
}

}  // namespace

// What a customer holding OLD fetches to update to NEW, as the installer plans it: the tail
// with the directory, then every range it cannot take from OLD.
int diff(const QStringList& arguments) {
    const auto options = Options::parse(arguments, {}, {2});
    if (!options) {
        return kUsage;
    }
    std::optional<platform::File> oldFile;
    std::optional<platform::File> newFile;
    const std::optional<ZipLayout> kept = layoutOf(options->plain[0], oldFile);
    const std::optional<ZipLayout> next = layoutOf(options->plain[1], newFile);
    for (const auto& [layout, path] :
         {std::pair{&kept, options->plain[0]}, std::pair{&next, options->plain[1]}}) {
        if (!*layout) {
            return report(kFailed, QStringLiteral("%1: not a ZIP archive whose directory and "
                                                  "local headers can be read")
                                       .arg(path));
        }
    }
    const qint64 size = next->size;
    const std::vector<int> matches = matchEntries(*kept, next->directory);
    const qint64 tailFrom = std::min(std::max<qint64>(0, size - deltaTailLength(*kept)),
                                     static_cast<qint64>(next->directory.offset));
    qint64 fetched = size;
    if (worthAssembling(next->directory, matches, size)) {
        const auto headerLength = [&](std::size_t entry) -> std::optional<qint64> {
            return static_cast<qint64>(next->dataOffsets[entry] -
                                       next->directory.entries[entry].localOffset);
        };
        fetched = size - tailFrom +
                  planDelta(*kept, next->directory, matches, tailFrom, headerLength, kDeltaMergeGap)
                      .fetched;
    }
    std::size_t reusable = 0;
    for (const int m : matches) {
        reusable += m >= 0 ? 1 : 0;
    }
    const auto share = [size](qint64 bytes) {
        return size > 0 ? 100.0 * static_cast<double>(bytes) / static_cast<double>(size) : 0.0;
    };
    std::printf("%lld of %lld bytes fetched (%.1f %%); %zu of %zu entries reused%s\n",
                static_cast<long long>(fetched), static_cast<long long>(size), share(fetched),
                fetched == size ? std::size_t{0} : reusable, next->directory.entries.size(),
                next->directory.headersFollowDirectory() ? "" : "; local headers fetched as well");
    if (const std::optional<BuiltDelta> delta = buildDelta(*oldFile, *newFile)) {
        const auto bytes = static_cast<qint64>(delta->bytes.size());
        std::printf("with a delta: %lld bytes (%.1f %%), %d entries patched, %d whole\n",
                    static_cast<long long>(bytes), share(bytes), delta->patched, delta->whole);
    }
    return kDone;
}

}  // namespace selvanix::publish
