#include "Places.h"

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

QString dataHome() {
    const QString xdg = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    if (xdg.startsWith(u'/')) {
        return xdg;
    }
    return QDir::homePath() + QStringLiteral("/.local/share");
}

Places ownPlaces() {
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return placesOf(QFileInfo(exe).absolutePath(), QStringLiteral(SELVANIX_BINDIR),
                    QStringLiteral(SELVANIX_SYSCONFDIR), dataHome());
}

}  // namespace selvanix::platform
