#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace selvanix {

// The content of a profile file: its lines with their own line ends, and its encoding.
// Reading follows the rules existing settings files were written for; editing keeps every
// line it does not touch.
class ProfileText {
public:
    enum class Encoding { Ansi, Utf8Bom, Utf16LE, Utf16BE };

    // The encoding comes from the byte-order mark; without one the bytes are ANSI.
    static ProfileText decode(const QByteArray& bytes);
    // A file that does not exist yet: UTF-8 with BOM and CRLF line ends.
    ProfileText() = default;

    // The file's bytes in its encoding; when an ANSI file cannot hold its text any more, the
    // bytes are UTF-8 with BOM instead.
    QByteArray encode() const;
    Encoding encoding() const { return encoding_; }

    QStringList sectionNames() const;
    // Every key of the section's first occurrence, in file order, duplicates included.
    QStringList keys(const QString& section) const;
    // The value of the key's first occurrence in the section's first occurrence.
    std::optional<QString> value(const QString& section, const QString& key) const;

    // Removes every occurrence of the section; false when there was none.
    bool eraseSection(const QString& section);
    // Sets a value in place, or adds the key after the section's last line, or adds the
    // section at the end. The value is quoted when reading would otherwise alter it. False
    // when the file already said exactly that.
    bool setValue(const QString& section, const QString& key, const QString& value);
    // Removes the key's first occurrence; false when there was none.
    bool removeKey(const QString& section, const QString& key);

    // A section or key name as a read looks it up: without surrounding blanks.
    static QString trimmedName(const QString& name);
    // A read's default as the read returns it: right-trimmed and unquoted like a value.
    static QString readAsDefault(const QString& value);

    // Whether a name or value survives a write and a read unchanged.
    static bool isWritableSection(const QString& section);
    // A name as reads see it: without the blanks around it.
    static QString trimmedName(QStringView name);
    static bool isWritableKey(const QString& key);
    static bool isWritableValue(const QString& value);

private:
    struct Line {
        QString text;
        QString end;  // "\r\n", "\n", "\r" or empty on an unterminated last line
    };
    struct Section {
        QString name;
        qsizetype header;  // -1 for the lines before the first header
        qsizetype begin;   // first line after the header
        qsizetype end;     // one past the last line
    };

    std::vector<Section> sections() const;
    std::optional<Section> firstSection(const QString& name) const;
    void insertLine(qsizetype at, const QString& text);

    Encoding encoding_ = Encoding::Utf8Bom;
    QString lineEnd_ = QStringLiteral("\r\n");
    std::vector<Line> lines_;
};

// ASCII letters match in either case; nothing else is folded.
bool sameProfileName(QStringView a, QStringView b);

}  // namespace selvanix
