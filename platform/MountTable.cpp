#include "MountTable.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace selvanix::platform {

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as three octal digits.
QString unescapeOctal(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == u'\\' && i + 3 < field.size()) {
            const QString digits = field.mid(i + 1, 3);
            bool ok = std::all_of(digits.begin(), digits.end(),
                                  [](QChar c) { return c >= u'0' && c <= u'7'; });
            const int code = digits.toInt(nullptr, 8);
            if (ok) {
                out.append(QChar(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return out;
}

const QSet<QString>& virtualFileSystems() {
    static const QSet<QString> names{
        "proc",       "sysfs",           "devtmpfs",    "devpts",      "cgroup",
        "cgroup2",    "tmpfs",           "overlay",     "mqueue",      "hugetlbfs",
        "debugfs",    "tracefs",         "securityfs",  "pstore",      "bpf",
        "configfs",   "fusectl",         "autofs",      "binfmt_misc", "efivarfs",
        "ramfs",      "rpc_pipefs",      "nsfs",        "selinuxfs",   "squashfs",
        "fuse.lxcfs", "fuse.gvfsd-fuse", "fuse.portal", "nfsd",        "none",
    };
    return names;
}

const QSet<QString>& networkFileSystems() {
    static const QSet<QString> names{
        "nfs",   "nfs4",        "cifs",        "smb3",   "smbfs", "fuse.sshfs", "sshfs",
        "afs",   "9p",          "ncpfs",       "coda",   "ceph",  "glusterfs",  "fuse.glusterfs",
        "davfs", "fuse.davfs2", "fuse.rclone", "lustre",
    };
    return names;
}

DriveType typeOf(const MountEntry& m, const RemovableQuery& isRemovable) {
    if (m.fsType == u"iso9660" || m.fsType == u"udf") {
        return DRIVE_CDROM;
    }
    if (networkFileSystems().contains(m.fsType)) {
        return DRIVE_REMOTE;
    }
    if (m.source.startsWith(u"/dev/") && isRemovable && isRemovable(m.majorMinor, m.source)) {
        return DRIVE_REMOVABLE;
    }
    return DRIVE_FIXED;
}

bool readsOne(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == "1";
}

}  // namespace

std::vector<MountEntry> parseMountInfo(const QString& text) {
    std::vector<MountEntry> result;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u' ', Qt::SkipEmptyParts);
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        const qsizetype dash = f.indexOf(QStringLiteral("-"), 6);
        if (f.size() < 7 || dash < 0 || dash + 1 >= f.size()) {
            continue;
        }
        MountEntry m;
        m.majorMinor = f[2];
        m.root = unescapeOctal(f[3]);
        m.mountPoint = unescapeOctal(f[4]);
        m.fsType = dash + 1 < f.size() ? f[dash + 1] : QString();
        m.source = dash + 2 < f.size() ? unescapeOctal(f[dash + 2]) : QString();
        result.push_back(std::move(m));
    }
    return result;
}

DriveMap driveMapFromMounts(const std::vector<MountEntry>& mounts,
                            const RemovableQuery& isRemovable) {
    DriveMap map;
    map.setDrive(u'C', QStringLiteral("/"), DRIVE_FIXED);
    QSet<QString> taken{QStringLiteral("/")};
    char16_t next = u'D';
    for (const MountEntry& m : mounts) {
        if (virtualFileSystems().contains(m.fsType)) {
            if (m.mountPoint != u"/") {
                map.addVirtualMountPoint(m.mountPoint);
            }
            continue;
        }
        // Bind mounts of a sub-folder (a container's /etc/hosts, say) are no drives.
        if (m.root != u"/" || taken.contains(m.mountPoint) || next > u'Z') {
            continue;
        }
        taken.insert(m.mountPoint);
        map.setDrive(QChar(next++), m.mountPoint, typeOf(m, isRemovable));
    }
    return map;
}

DriveMap systemDriveMap() {
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly)) {
        DriveMap map;
        map.setDrive(u'C', QStringLiteral("/"), DRIVE_FIXED);
        return map;
    }
    const auto mounts = parseMountInfo(QString::fromUtf8(f.readAll()));
    return driveMapFromMounts(mounts, [](const QString& majorMinor, const QString&) {
        // A partition carries no flag of its own: its disk (the parent folder) does.
        const QString dev = QStringLiteral("/sys/dev/block/") + majorMinor;
        if (QFile::exists(dev + QStringLiteral("/partition"))) {
            return readsOne(dev + QStringLiteral("/../removable"));
        }
        return readsOne(dev + QStringLiteral("/removable"));
    });
}

}  // namespace selvanix::platform
