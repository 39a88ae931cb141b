#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace selvanix::platform {

// Where a copy of Selvanix keeps its files. A copy whose executable lies in the program folder
// of the install prefix it was built for (/usr/bin) is installed, also when that tree was
// unpacked below another root: it keeps its files in the user's data folder, and the settings
// an administrator gives every user lie in the prefix's configuration folder below the same
// root (/etc/selvanix/upgrade.kac). Any other copy is portable and keeps them beside itself.
// Never decided by a write test: root can write anywhere.
struct Places {
    bool installed = false;
    QString installerFolder;  // a host path ending in '/'; empty: an installed copy without one
    QString systemSettings;   // the all-users settings file; empty for a portable copy
};

// programFolder: the executable's folder; binDir and sysconfDir: the prefix's program and
// configuration folders as built in; dataHome: the user's data folder ($XDG_DATA_HOME).
Places placesOf(const QString& programFolder, const QString& binDir, const QString& sysconfDir,
                const QString& dataHome);

class OwnerRule;

// The first of $<variable>, $HOME<below> and the account's own home<below> whose selvanix
// folder passes trustedChain, as firstTrustedHome takes them; empty when none does.
QString ownHome(const char* variable, const QString& below);

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share,
// else the account's own ~/.local/share from the password database; the first whose
// selvanix folder passes trustedChain, existing or not. Empty when none does.
QString dataHome();

// The folder path names, every link on the way followed, when nobody but those the rule
// trusts can change what it leads through: each link owned by a trusted user, each folder
// reached trusted (the last one safe, those above it safe or sticky), and a missing part only
// below a folder that is safe, where it will be made. Nothing otherwise.
std::optional<QString> trustedPath(const QString& path, const OwnerRule& rule);
bool trustedChain(const QString& path, const OwnerRule& rule);

// The first of the absolute candidates whose folder leaf passes trustedChain, existing or
// not, and is no link; empty when none does.
QString firstTrustedHome(const QStringList& candidates, const QString& leaf);

// This copy's places, from its executable and the environment.
Places ownPlaces();
// Why this copy cannot run: an installed copy with no data folder it may trust. Nothing
// when it can.
std::optional<QString> placesProblem();

}  // namespace selvanix::platform
