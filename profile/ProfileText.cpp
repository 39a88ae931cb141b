#include "ProfileText.h"

#include "platform/CodePages.h"

#include <QStringDecoder>

namespace selvanix {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QString trimBlanks(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b])) {
        ++b;
    }
    while (e > b && isBlank(s[e - 1])) {
        --e;
    }
    return s.mid(b, e - b).toString();
}

QStringView cutAtNul(QStringView s) {
    const qsizetype nul = s.indexOf(QChar(0));
    return nul < 0 ? s : s.left(nul);
}

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

struct ParsedLine {
    enum class Kind { Other, Header, Entry };
    Kind kind = Kind::Other;
    QString name;
    QString value;
    bool listed = true;  // a comment or a line without a key is found by a read, never listed
};

QString unquoted(const QString& value) {
    if (value.size() >= 2 && isQuote(value.front()) && value.back() == value.front()) {
        return value.mid(1, value.size() - 2);
    }
    return value;
}

ParsedLine parseLine(const QString& line) {
    ParsedLine parsed;
    qsizetype first = 0;
    while (first < line.size() && isBlank(line[first])) {
        ++first;
    }
    if (first < line.size() && line[first] == u'[') {
        const qsizetype close = line.lastIndexOf(u']');
        if (close > first) {
            parsed.kind = ParsedLine::Kind::Header;
            parsed.name = trimBlanks(cutAtNul(QStringView(line).mid(first + 1, close - first - 1)));
        }
        // A '[' line without ']' is no header and no key.
        return parsed;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) {
        return parsed;
    }
    parsed.name = trimBlanks(cutAtNul(QStringView(line).left(eq)));
    parsed.listed = !parsed.name.isEmpty() && !line.startsWith(u';');
    parsed.kind = ParsedLine::Kind::Entry;
    parsed.value = unquoted(trimBlanks(cutAtNul(QStringView(line).mid(eq + 1))));
    return parsed;
}

QString decodeText(const QByteArray& bytes, ProfileText::Encoding encoding) {
    switch (encoding) {
        case ProfileText::Encoding::Utf16LE: {
            QStringDecoder decoder(QStringDecoder::Utf16LE);
            return decoder(bytes.mid(2, (bytes.size() - 2) & ~qsizetype{1}));
        }
        case ProfileText::Encoding::Utf16BE: {
            QStringDecoder decoder(QStringDecoder::Utf16BE);
            return decoder(bytes.mid(2, (bytes.size() - 2) & ~qsizetype{1}));
        }
        case ProfileText::Encoding::Utf8Bom:
            return QString::fromUtf8(bytes.mid(3));
        case ProfileText::Encoding::Ansi:
            break;
    }
    return platform::ansiToText(bytes);
}

// A value that reading would trim or unquote is written inside one more pair of quotes.
QString valueForWriting(const QString& value) {
    const bool padded = !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()));
    const bool quoted =
        value.size() >= 2 && isQuote(value.front()) && value.back() == value.front();
    return padded || quoted ? u'"' + value + u'"' : value;
}

bool hasLineBreakOrNul(const QString& s) {
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0));
}

}  // namespace

bool sameProfileName(QStringView a, QStringView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'a' && x <= u'z') {
            x = static_cast<char16_t>(x - 32);
        }
        if (y >= u'a' && y <= u'z') {
            y = static_cast<char16_t>(y - 32);
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

ProfileText ProfileText::decode(const QByteArray& bytes) {
    ProfileText profile;
    if (bytes.startsWith("\xFF\xFE")) {
        profile.encoding_ = Encoding::Utf16LE;
    } else if (bytes.startsWith("\xFE\xFF")) {
        profile.encoding_ = Encoding::Utf16BE;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        profile.encoding_ = Encoding::Utf8Bom;
    } else {
        profile.encoding_ = Encoding::Ansi;
    }
    const QString text = decodeText(bytes, profile.encoding_);

    bool endSeen = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        const qsizetype endLength =
            (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
        Line line{text.mid(start, i - start), text.mid(i, endLength)};
        if (!endSeen) {
            profile.lineEnd_ = line.end;
            endSeen = true;
        }
        profile.lines_.push_back(std::move(line));
        i += endLength - 1;
        start = i + 1;
    }
    if (start < text.size()) {
        profile.lines_.push_back(Line{text.mid(start), QString()});
    }
    return profile;
}

QByteArray ProfileText::encode() const {
    QString text;
    for (const Line& line : lines_) {
        text += line.text;
        text += line.end;
    }
    switch (encoding_) {
        case Encoding::Utf16LE: {
            QByteArray out("\xFF\xFE");
            for (const QChar c : text) {
                out.append(static_cast<char>(c.unicode() & 0xFF));
                out.append(static_cast<char>(c.unicode() >> 8));
            }
            return out;
        }
        case Encoding::Utf16BE: {
            QByteArray out("\xFE\xFF");
            for (const QChar c : text) {
                out.append(static_cast<char>(c.unicode() >> 8));
                out.append(static_cast<char>(c.unicode() & 0xFF));
            }
            return out;
        }
        case Encoding::Ansi: {
            bool lossless = true;
            QByteArray out = platform::textToAnsi(text, &lossless);
            if (lossless) {
                return out;
            }
            break;  // the code page cannot hold every letter: keep them all in UTF-8
        }
        case Encoding::Utf8Bom:
            break;
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

std::vector<ProfileText::Section> ProfileText::sections() const {
    std::vector<Section> result;
    Section current{QString(), -1, 0, 0};
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines_.size()); ++i) {
        const ParsedLine parsed = parseLine(lines_[i].text);
        if (parsed.kind == ParsedLine::Kind::Header) {
            current.end = i;
            result.push_back(current);
            current = Section{parsed.name, i, i + 1, i + 1};
        }
    }
    current.end = static_cast<qsizetype>(lines_.size());
    result.push_back(current);
    return result;
}

std::optional<ProfileText::Section> ProfileText::firstSection(const QString& name) const {
    for (const Section& s : sections()) {
        if (sameProfileName(s.name, name)) {
            return s;
        }
    }
    return std::nullopt;
}

QStringList ProfileText::sectionNames() const {
    QStringList names;
    for (const Section& s : sections()) {
        if (s.header >= 0 && !s.name.isEmpty()) {
            names.append(s.name);  // a repeated header is listed each time
        }
    }
    return names;
}

QStringList ProfileText::keys(const QString& section) const {
    QStringList result;
    if (const auto s = firstSection(section)) {
        for (qsizetype i = s->begin; i < s->end; ++i) {
            const ParsedLine parsed = parseLine(lines_[i].text);
            if (parsed.kind == ParsedLine::Kind::Entry && parsed.listed) {
                result.append(parsed.name);
            }
        }
    }
    return result;
}

std::optional<QString> ProfileText::value(const QString& section, const QString& key) const {
    if (const auto s = firstSection(section)) {
        for (qsizetype i = s->begin; i < s->end; ++i) {
            const ParsedLine parsed = parseLine(lines_[i].text);
            if (parsed.kind == ParsedLine::Kind::Entry && sameProfileName(parsed.name, key)) {
                return parsed.value;
            }
        }
    }
    return std::nullopt;
}

bool ProfileText::eraseSection(const QString& section) {
    bool erased = false;
    // Later occurrences first, so earlier line numbers stay valid.
    const std::vector<Section> all = sections();
    for (auto s = all.rbegin(); s != all.rend(); ++s) {
        if (!sameProfileName(s->name, section)) {
            continue;
        }
        const qsizetype from = s->header >= 0 ? s->header : s->begin;
        if (s->end > from) {
            lines_.erase(lines_.begin() + from, lines_.begin() + s->end);
            erased = true;
        }
    }
    return erased;
}

void ProfileText::insertLine(qsizetype at, const QString& text) {
    if (at > 0 && lines_[at - 1].end.isEmpty()) {
        lines_[at - 1].end = lineEnd_;
    }
    lines_.insert(lines_.begin() + at, Line{text, lineEnd_});
}

bool ProfileText::setValue(const QString& section, const QString& key, const QString& value) {
    const QString written = valueForWriting(value);
    const auto s = firstSection(section);
    if (!s) {
        const auto end = static_cast<qsizetype>(lines_.size());
        insertLine(end, u'[' + section + u']');
        insertLine(end + 1, key + u'=' + written);
        return true;
    }
    qsizetype after = s->begin;
    for (qsizetype i = s->begin; i < s->end; ++i) {
        const ParsedLine parsed = parseLine(lines_[i].text);
        if (parsed.kind == ParsedLine::Kind::Entry && sameProfileName(parsed.name, key)) {
            const QString line = parsed.name + u'=' + written;
            const bool changed = lines_[i].text != line;
            lines_[i].text = line;
            return changed;
        }
        if (!trimBlanks(lines_[i].text).isEmpty()) {
            after = i + 1;
        }
    }
    insertLine(after, key + u'=' + written);
    return true;
}

bool ProfileText::removeKey(const QString& section, const QString& key) {
    if (const auto s = firstSection(section)) {
        for (qsizetype i = s->begin; i < s->end; ++i) {
            const ParsedLine parsed = parseLine(lines_[i].text);
            if (parsed.kind == ParsedLine::Kind::Entry && sameProfileName(parsed.name, key)) {
                lines_.erase(lines_.begin() + i);
                return true;
            }
        }
    }
    return false;
}

QString ProfileText::trimmedName(const QString& name) {
    return trimBlanks(name);
}

QString ProfileText::readAsDefault(const QString& value) {
    qsizetype end = value.size();
    while (end > 0 && isBlank(value[end - 1])) {
        --end;
    }
    return unquoted(value.left(end));
}

bool ProfileText::isWritableSection(const QString& section) {
    return !hasLineBreakOrNul(section) && trimBlanks(section) == section;
}

QString ProfileText::trimmedName(QStringView name) {
    return trimBlanks(name);
}

bool ProfileText::isWritableKey(const QString& key) {
    return !key.isEmpty() && !hasLineBreakOrNul(key) && !key.contains(u'=') &&
           trimBlanks(key) == key && !key.startsWith(u';') && !key.startsWith(u'[');
}

bool ProfileText::isWritableValue(const QString& value) {
    return !hasLineBreakOrNul(value);
}

}  // namespace selvanix
