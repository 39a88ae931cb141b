#include "WildcardMatch.h"

#include <QString>

namespace selvanix {

namespace {

char16_t foldAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool match(QStringView s, QStringView p) {
    for (;;) {
        if (p == u"*") {
            return true;
        }
        if (s.isEmpty()) {
            return p.isEmpty();
        }
        if (p.isEmpty()) {
            return false;
        }
        if (p.front() == u'*') {
            const QStringView rest = p.mid(1);
            for (qsizetype i = 0; i < s.size(); ++i) {
                if (match(s.mid(i), rest)) {
                    return true;
                }
            }
            return false;
        }
        if (p.front() != u'?' && foldAscii(p.front().unicode()) != foldAscii(s.front().unicode())) {
            return false;
        }
        s = s.mid(1);
        p = p.mid(1);
    }
}

// The extension of the last path component, from its last '.'.
QStringView extensionOf(QStringView name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype slash = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    return dot > slash ? name.mid(dot) : QStringView();
}

}  // namespace

bool ArcWildcardMatch(QStringView s, QStringView pattern) {
    return pattern == u"*.*" || match(s, pattern);
}

bool ArcMatchesMask(QStringView name, QStringView mask) {
    if (mask.isEmpty()) {
        return false;
    }
    QString m = mask.toString();
    const qsizetype star = m.indexOf(QStringLiteral("*.*"));
    if (star >= 0) {
        m.replace(star, 3, QStringLiteral("*"));
    }
    if (m.endsWith(u'.')) {
        m.chop(1);
    }
    QStringView n = name;
    if (n.endsWith(u'.')) {
        n.chop(1);
    }
    if (!ArcWildcardMatch(n, m)) {
        return false;
    }
    if (mask.endsWith(u'.')) {
        const QStringView ext = extensionOf(name);
        return ext.isEmpty() || ext == u".";
    }
    return true;
}

}  // namespace selvanix
