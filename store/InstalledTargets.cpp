#include "InstalledTargets.h"

#include "DataFolderFile.h"
#include "platform/handles/FileLock.h"

#include <QUrl>
#include <algorithm>

namespace selvanix {

namespace {

constexpr char kHeader[] = "selvanix-targets 1";
constexpr char kLockName[] = ".targets.lock";
constexpr qsizetype kMaxPathBytes = 4096;
// Every target at its longest path, percent-encoded.
constexpr qint64 kMaxListBytes =
    static_cast<qint64>(kMaxInstalledTargets) * (3 * kMaxPathBytes + 128);

bool isStem(const QByteArray& stem) {
    return !stem.isEmpty() && stem.size() <= 64 &&
           std::all_of(stem.begin(), stem.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

std::optional<std::uint64_t> number(const QByteArray& text) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    return ok ? std::optional<std::uint64_t>(value) : std::nullopt;
}

bool sameFolder(const InstalledTarget& a, const InstalledTarget& b) {
    return a.device == b.device && a.inode == b.inode;
}

}  // namespace

std::optional<InstalledTarget> installedTarget(const QString& path, const QString& stem) {
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(path);
    if (!folder) {
        return std::nullopt;
    }
    const auto [device, inode] = folder->identity();
    return InstalledTarget{path, stem, device, inode};
}

TargetNow targetNow(const InstalledTarget& target) {
    // One handle for the identity and the record: the record is read from the folder looked at.
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target.path);
    if (!folder) {
        return {};
    }
    const auto [device, inode] = folder->identity();
    if (device != target.device || inode != target.inode) {
        return {TargetNow::State::Replaced};
    }
    std::optional<Manifest> record = readManifest(*folder);
    if (!record) {
        return {};
    }
    return {TargetNow::State::Present, std::move(record)};
}

namespace {

QByteArray targetLine(const InstalledTarget& t) {
    return QByteArray::number(static_cast<qulonglong>(t.device)) + ' ' +
           QByteArray::number(static_cast<qulonglong>(t.inode)) + ' ' + t.stem.toUtf8() + ' ' +
           QUrl::toPercentEncoding(t.path, "/:\\");
}

std::optional<InstalledTarget> parseTarget(const QByteArray& line) {
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() != 4 || !isStem(fields[2]) || fields[3].isEmpty() ||
        fields[3].size() > 3 * kMaxPathBytes) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> device = number(fields[0]);
    const std::optional<std::uint64_t> inode = number(fields[1]);
    const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[3]));
    if (!device || !inode || path.isEmpty()) {
        return std::nullopt;
    }
    return InstalledTarget{path, QString::fromLatin1(fields[2]), *device, *inode};
}

std::vector<InstalledTarget> parseLines(const std::vector<QByteArray>& lines) {
    std::vector<InstalledTarget> targets;
    for (const QByteArray& line : lines) {
        if (targets.size() == kMaxInstalledTargets) {
            break;
        }
        if (const std::optional<InstalledTarget> target = parseTarget(line)) {
            targets.push_back(*target);
        }
    }
    return targets;
}

}  // namespace

QByteArray installedTargetsText(const std::vector<InstalledTarget>& targets) {
    QByteArray text = QByteArray(kHeader) + '\n';
    for (const InstalledTarget& t : targets) {
        text += targetLine(t) + '\n';
    }
    return text;
}

std::vector<InstalledTarget> parseInstalledTargets(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first() != kHeader) {
        return {};
    }
    lines.removeFirst();
    return parseLines({lines.begin(), lines.end()});
}

std::vector<InstalledTarget> readInstalledTargets(const platform::FolderHandle& dataFolder) {
    return parseLines(readDataLines(dataFolder, kInstalledTargetsName, kHeader, kMaxListBytes));
}

std::vector<InstalledTarget> withInstalled(const std::vector<InstalledTarget>& remembered,
                                           const std::vector<InstalledTarget>& installed) {
    std::vector<InstalledTarget> list;
    const auto listed = [&list](const InstalledTarget& target) {
        return std::any_of(list.begin(), list.end(),
                           [&](const InstalledTarget& t) { return sameFolder(t, target); });
    };
    for (const InstalledTarget& target : remembered) {
        const bool again =
            std::any_of(installed.begin(), installed.end(),
                        [&](const InstalledTarget& t) { return sameFolder(t, target); });
        if (!again && !listed(target) && targetNow(target).state == TargetNow::State::Present) {
            list.push_back(target);
        }
    }
    for (const InstalledTarget& target : installed) {
        if (!listed(target)) {
            list.push_back(target);
        }
    }
    if (list.size() > kMaxInstalledTargets) {
        list.erase(list.begin(), list.end() - kMaxInstalledTargets);
    }
    return list;
}

std::optional<QString> rememberTargets(const QString& dataFolder,
                                       const std::vector<InstalledTarget>& installed) {
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(dataFolder);
    if (!folder) {
        return QStringLiteral("the data folder %1 cannot be opened").arg(dataFolder);
    }
    // Two runs that finish together each add their own targets to what the other wrote.
    const auto lock = platform::FileLock::take(
        *folder, kLockName, platform::FileLock::Access::Write, std::chrono::seconds(10));
    if (!std::holds_alternative<platform::FileLock>(lock)) {
        return QStringLiteral("the list of installed targets is held by another run");
    }
    std::vector<QByteArray> lines;
    for (const InstalledTarget& t : withInstalled(readInstalledTargets(*folder), installed)) {
        lines.push_back(targetLine(t));
    }
    if (!writeDataLines(*folder, kInstalledTargetsName, kHeader, lines)) {
        return QStringLiteral("the list of installed targets cannot be written in %1")
            .arg(dataFolder);
    }
    return std::nullopt;
}

}  // namespace selvanix
