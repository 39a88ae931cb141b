#pragma once

#include "Manifest.h"
#include "platform/handles/FolderHandle.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace selvanix {

// A folder Selvanix installed into, as the data folder remembers it: the folder's identity
// tells it from another folder put at the same path since.
struct InstalledTarget {
    QString path;  // as the run named it
    QString stem;  // the product installed there
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const InstalledTarget&) const = default;
};

inline constexpr std::size_t kMaxInstalledTargets = 1000;
// The list in the data folder, and the lock its writers take.
inline constexpr char kInstalledTargetsName[] = "targets.list";

// What a remembered target is now.
struct TargetNow {
    enum class State {
        Present,   // the same folder, holding a record
        Vanished,  // gone, or holding no record
        Replaced,  // another folder stands at its path
    };
    State state = State::Vanished;
    std::optional<Manifest> record{};  // for Present
};
TargetNow targetNow(const InstalledTarget& target);

// The target at path as it is now, for stem; nothing when it cannot be opened.
std::optional<InstalledTarget> installedTarget(const QString& path, const QString& stem);

// The list as text: a header line, then "device inode stem path" per target, the path
// percent-encoded, so any folder name fits one line.
QByteArray installedTargetsText(const std::vector<InstalledTarget>& targets);
// Lines that are no such line are skipped; at most kMaxInstalledTargets are taken.
std::vector<InstalledTarget> parseInstalledTargets(const QByteArray& text);

// The list of the data folder, read within its bound and never through a link; empty when
// there is none.
std::vector<InstalledTarget> readInstalledTargets(const platform::FolderHandle& dataFolder);

// The list after an installation: the installed targets last, in their order, each once by
// identity; every other target kept only while it is Present; the oldest dropped past the
// bound.
std::vector<InstalledTarget> withInstalled(const std::vector<InstalledTarget>& remembered,
                                           const std::vector<InstalledTarget>& installed);

// Takes the installed targets into the data folder's list under its lock, the file replaced
// whole; a reason when it could not be written.
std::optional<QString> rememberTargets(const QString& dataFolder,
                                       const std::vector<InstalledTarget>& installed);

}  // namespace selvanix
