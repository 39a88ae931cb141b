#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace selvanix {

// A file a run is about to write into every target: its path below the target ('/' between
// folders) and its size.
struct PlannedFile {
    QString path;
    std::uint64_t size = 0;
};

// Room a file system must have beyond what is written to it: 1 % and 16 MiB.
std::uint64_t roomNeeded(std::uint64_t bytes);

// The first target a run cannot write into, and why: missing, no folder, not writable, or a
// file system without room for what every target puts on it. Nothing is written.
struct TargetProblem {
    QString target;
    QString reason;
};
std::optional<TargetProblem> checkTargets(const QStringList& targets,
                                          const std::vector<PlannedFile>& files);

// The first target that is the installer's own data folder (a host path) or lies below it,
// by the folders' identities: an installed copy keeps the user's settings and downloads
// there, and nothing is ever installed over them.
std::optional<TargetProblem> ownFolderProblem(const QStringList& targets,
                                              const QString& dataFolder);

}  // namespace selvanix
