#include "Paths.h"

#include "DriveMap.h"

namespace selvanix::platform {

namespace {

QString collapseSeparators(QString path) {
    path.replace(u'\\', u'/');
    QString out;
    out.reserve(path.size());
    for (const QChar c : path) {
        if (c == u'/' && out.endsWith(u'/')) {
            continue;
        }
        out.append(c);
    }
    return out;
}

}  // namespace

bool hasDrive(const QString& path) {
    if (path.size() < 2 || path[1] != u':') {
        return false;
    }
    const char16_t c = path[0].toUpper().unicode();
    return c >= u'A' && c <= u'Z';
}

QString displayPath(const QString& path) {
    return path.startsWith(u'/') ? collapseSeparators(path) : path;
}

QString toHostPath(const QString& path) {
    if (!hasDrive(path)) {
        return collapseSeparators(path);
    }
    const DriveMap::Drive* drive = driveMap().drive(path[0]);
    if (drive == nullptr) {
        return {};
    }
    QString rest = collapseSeparators(path.mid(2));
    while (rest.startsWith(u'/')) {
        rest.remove(0, 1);
    }
    if (rest.isEmpty()) {
        return drive->hostRoot;
    }
    return drive->hostRoot.endsWith(u'/') ? drive->hostRoot + rest : drive->hostRoot + u'/' + rest;
}

}  // namespace selvanix::platform
