#include "IniFile.h"

#include "PrivateProfile.h"
#include "platform/Paths.h"

#include <vector>

namespace selvanix {

ProfileEntry splitEntry(const QString& line) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) {
        return {line, QString()};
    }
    return {line.left(eq), line.mid(eq + 1)};
}

TIniFile::TIniFile(QString fileName, platform::LinkAtName links)
    : fileName_(std::move(fileName)), links_(links) {}

TIniFile::~TIniFile() {
    try {
        UpdateFile();
    } catch (...) {
        // Release never fails.
    }
}

void TIniFile::ReadSection(const QString& section, QStringList& keys) const {
    int size = 1024;
    std::vector<QChar> buffer;
    int n = 0;
    for (;;) {
        buffer.assign(static_cast<size_t>(size), QChar(0));
        n = GetPrivateProfileStringW(section, std::nullopt, std::nullopt, buffer.data(), size,
                                     fileName_);
        if (n < size - 2) {
            break;
        }
        size *= 4;
    }
    keys.clear();
    const QChar* p = buffer.data();
    const QChar* end = p + n;
    while (n != 0 && p < end && *p != QChar(0)) {
        QString name;
        while (*p != QChar(0)) {
            name.append(*p++);
        }
        keys.append(name);
        ++p;
    }
}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    QChar buffer[2048];
    const int n = GetPrivateProfileStringW(section, key, defaultValue, buffer, 2048, fileName_);
    return QString(buffer, n);
}

void TIniFile::ReadSectionValues(const QString& section, QStringList& lines) const {
    QStringList keys;
    ReadSection(section, keys);
    lines.clear();
    for (const QString& key : keys) {
        lines.append(key + u'=' + ReadString(section, key, QString()));
    }
}

void TIniFile::EraseSection(const QString& section) {
    if (!WritePrivateProfileStringW(section, std::nullopt, std::nullopt, fileName_, links_)) {
        raiseWriteError();
    }
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (!WritePrivateProfileStringW(section, key, value, fileName_, links_)) {
        raiseWriteError();
    }
}

void TIniFile::UpdateFile() {
    WritePrivateProfileStringW(std::nullopt, std::nullopt, std::nullopt, fileName_);
}

void raiseUnableToWrite(const QString& fileName) {
    throw EIniFileException(
        QStringLiteral("Unable to write to %1").arg(platform::displayPath(fileName)));
}

void TIniFile::raiseWriteError() const {
    raiseUnableToWrite(fileName_);
}

}  // namespace selvanix
