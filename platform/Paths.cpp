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

QString linuxPath(const QString& path) {
    QString shown = displayPath(path);
    while (shown.size() > 1 && (shown.endsWith(u'/') || shown.endsWith(u'\\'))) {
        shown.chop(1);
    }
    return shown;
}

QString printableText(const QString& text) {
    QString result = text;
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029) {
            c = u'?';
        }
    }
    return result;
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
