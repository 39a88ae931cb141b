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
    places.installerFolder = dataHome.isEmpty()
                                 ? QString()
                                 : withoutTrailingSlashes(dataHome) + QStringLiteral("/selvanix/");
    places.systemSettings = root + withoutTrailingSlashes(QDir::cleanPath(sysconfDir)) +
                            QStringLiteral("/selvanix/upgrade.kac");
    return places;
}

std::optional<QString> trustedPath(const QString& path, const OwnerRule& rule) {
    QStringList todo = QDir::cleanPath(path).split(u'/', Qt::SkipEmptyParts);
    QString at = QStringLiteral("/");
    struct stat st {};
    if (::lstat("/", &st) != 0 || !(todo.isEmpty() ? rule.safe(st) : rule.safeAbove(st))) {
        return std::nullopt;
    }
    for (int links = 0; !todo.isEmpty();) {
        const QString part = todo.takeFirst();
        if (part == u".") {
            continue;
        }
        if (part == u"..") {
            at = QFileInfo(at).path();
            continue;
        }
        const QString next = at == u"/" ? u'/' + part : at + u'/' + part;
        if (::lstat(QFile::encodeName(next).constData(), &st) != 0) {
            // What is missing is made later, below the last folder there: that one must be
            // nobody else's to change, not merely sticky, and one this process can write.
            struct stat above {};
            const QByteArray last = QFile::encodeName(at);
            const bool safe = errno == ENOENT && ::lstat(last.constData(), &above) == 0 &&
                              S_ISDIR(above.st_mode) && rule.safe(above) &&
                              ::access(last.constData(), W_OK | X_OK) == 0;
            return safe ? std::optional<QString>(QDir::cleanPath(next + u'/' + todo.join(u'/')))
                        : std::nullopt;
        }
        if (S_ISLNK(st.st_mode)) {
            // A link is as good as whoever made it, and leads on where the same rules hold.
            const QString target = QFile::symLinkTarget(next);
            if (!rule.ownerTrusted(st.st_uid) || ++links > 40 || target.isEmpty()) {
                return std::nullopt;
            }
            // Made absolute against the link's folder; links in it are followed in turn.
            todo = target.split(u'/', Qt::SkipEmptyParts) + todo;
            at = QStringLiteral("/");
            continue;
        }
        if (!S_ISDIR(st.st_mode) || !(todo.isEmpty() ? rule.safe(st) : rule.safeAbove(st))) {
            return std::nullopt;
        }
        at = next;
    }
    return at;
}

bool trustedChain(const QString& path, const OwnerRule& rule) {
    return trustedPath(path, rule).has_value();
}

QString firstTrustedHome(const QStringList& candidates, const QString& leaf) {
    const OwnerRule rule = OwnerRule::forProcess();
    for (const QString& candidate : candidates) {
        // The folder itself is never a link: what it holds is the user's alone.
        const QString folder = candidate + u'/' + leaf;
        struct stat st {};
        const bool link =
            ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISLNK(st.st_mode);
        if (candidate.startsWith(u'/') && !link && trustedChain(folder, rule)) {
            return candidate;
        }
    }
    return {};
}

QString ownHome(const char* variable, const QString& below) {
    // Another user's folder named by the environment (a root shell that kept a user's HOME,
    // say) would let that user choose where this process reads and writes: the account's own
    // is taken, and when that fails too, none.
    const QString named = qEnvironmentVariable(variable);
    const struct passwd* account = ::getpwuid(::geteuid());
    const QString own = account != nullptr ? QFile::decodeName(account->pw_dir) + below : QString();
    return firstTrustedHome(
        {named.startsWith(u'/') ? named : QString(), QDir::homePath() + below, own},
        QStringLiteral("selvanix"));
}

QString dataHome() {
    return ownHome("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

std::optional<QString> placesProblem() {
    const Places places = ownPlaces();
    if (!places.installed || !places.installerFolder.isEmpty()) {
        return std::nullopt;
    }
    return QStringLiteral(
        "no data folder that only this user and root can change: $XDG_DATA_HOME, "
        "~/.local/share and the account's own home all fail (see \"Installing Selvanix\")");
}

Places ownPlaces() {
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return placesOf(QFileInfo(exe).absolutePath(), QStringLiteral(SELVANIX_BINDIR),
                    QStringLiteral(SELVANIX_SYSCONFDIR), dataHome());
}

}  // namespace selvanix::platform
