#include "Places.h"

#include "OwnerRule.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace selvanix::platform {

namespace {

QString withoutTrailingSlashes(QString path) {
    while (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    return path;
}

}  // namespace

Places placesOf(const QString& programFolder, const QString& binDir, const QString& sysconfDir,
                const QString& dataHome) {
    const QString folder = withoutTrailingSlashes(QDir::cleanPath(programFolder));
    const QString bin = withoutTrailingSlashes(QDir::cleanPath(binDir));
    Places places;
    // The root the prefix lies below: "" for /usr/bin itself, "/tmp/x" for /tmp/x/usr/bin.
    const bool below = folder.endsWith(bin) &&
                       (folder.size() == bin.size() || folder[folder.size() - bin.size()] == u'/');
    if (!bin.startsWith(u'/') || !below) {
        places.installerFolder = folder.endsWith(u'/') ? folder : folder + u'/';
        return places;
    }
    const QString root = folder.left(folder.size() - bin.size());
    places.installed = true;
    places.installerFolder = withoutTrailingSlashes(dataHome) + QStringLiteral("/selvanix/");
    places.systemSettings = root + withoutTrailingSlashes(QDir::cleanPath(sysconfDir)) +
                            QStringLiteral("/selvanix/upgrade.kac");
    return places;
}

bool trustedChain(const QString& path, const OwnerRule& rule) {
    QString at = QDir::cleanPath(path);
    bool first = true;
    for (;;) {
        struct stat st {};
        if (::lstat(QFile::encodeName(at).constData(), &st) == 0) {
            // A link is as good as whoever made it; the folders holding it are checked next.
            const bool trusted = S_ISLNK(st.st_mode) ? rule.ownerTrusted(st.st_uid)
                                 : first             ? S_ISDIR(st.st_mode) && rule.safe(st)
                                                     : rule.safeAbove(st);
            if (!trusted) {
                return false;
            }
            first = false;
        } else if (errno != ENOENT) {
            return false;
        }
        if (at == u"/") {
            return true;
        }
        at = QFileInfo(at).path();
    }
}

QString dataHome() {
    // Another user's folder named by the environment (a root shell that kept a user's HOME,
    // say) would let that user choose where this process writes: the account's own is taken.
    const OwnerRule rule = OwnerRule::forProcess();
    const QString xdg = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    const QString shared = QStringLiteral("/.local/share");
    for (const QString& candidate :
         {xdg.startsWith(u'/') ? xdg : QString(), QDir::homePath() + shared}) {
        if (!candidate.isEmpty() && trustedChain(candidate, rule)) {
            return candidate;
        }
    }
    const struct passwd* account = ::getpwuid(::geteuid());
    return (account != nullptr ? QFile::decodeName(account->pw_dir) : QString()) + shared;
}

Places ownPlaces() {
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return placesOf(QFileInfo(exe).absolutePath(), QStringLiteral(SELVANIX_BINDIR),
                    QStringLiteral(SELVANIX_SYSCONFDIR), dataHome());
}

}  // namespace selvanix::platform
