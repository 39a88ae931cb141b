#pragma once

#include <QString>

namespace selvanix {

// The fixed masks a package is installed by, in their order: each names the entries it takes
// and the target's subfolder they go below.
struct InstallMask {
    const char* mask;
    const char* folder;  // "" for the target itself

    QString prefix() const { return *folder ? QLatin1String(folder) + u'/' : QString(); }
    // The folder below base, in the form extraction takes ("base\\pts").
    QString below(const QString& base) const {
        return *folder ? base + u'\\' + QLatin1String(folder) : base;
    }
};

inline constexpr InstallMask kInstallMasks[] = {
    {"*.exe", ""}, {"*.sql", ""}, {"*.chm", ""}, {"*.dll", ""}, {"*.fr3", "pts"},
};

// Whether a file of that name (the last part of a path) is one the masks take.
inline bool takenByMasks(const QString& name) {
    for (const InstallMask& m : kInstallMasks) {
        if (name.endsWith(QLatin1String(m.mask + 1), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

}  // namespace selvanix
