#include "SettingsFile.h"

#include "profile/IniFile.h"
#include "profile/PrivateProfile.h"

namespace selvanix {

namespace {

const std::array<const char*, kTargetCount> kRomanNumerals{"I",  "II",  "III",  "IV", "V",
                                                           "VI", "VII", "VIII", "IX", "X"};

std::optional<int> codeIn(const QString& value, std::initializer_list<int> accepted) {
    for (const int code : accepted) {
        if (value == QString::number(code)) {
            return code;
        }
    }
    return std::nullopt;
}

QString flag(bool on) {
    return on ? QStringLiteral("Y") : QStringLiteral("N");
}

}  // namespace

QString targetKey(int index) {
    return QStringLiteral("kamcesta") + QLatin1String(kRomanNumerals.at(index));
}

StoredSettings readSettings(const QString& fileName) {
    StoredSettings settings;
    QStringList lines;
    TIniFile(fileName).ReadSectionValues(QString::fromUtf16(kDefiniceSection), lines);
    for (const QString& line : lines) {
        const auto [key, value] = splitEntry(line);
        if (key == u"program") {
            if (const auto code = codeIn(value, {1, 2, 3, 4, 5, 6, 7, 8})) {
                settings.program = code;
            }
        } else if (key == u"odkud") {
            if (const auto code = codeIn(value, {1, 2})) {
                settings.source = code;
            }
        } else if (key == u"odkudcesta") {
            settings.packageFolder = value;
        } else if (key == u"cilinstalace") {
            if (const auto code = codeIn(value, {0, 1, 2})) {
                settings.targetMode = code;
            }
        } else if (key == u"koukani") {
            settings.koukani = value;
        } else if (key == u"automaticky") {
            settings.automaticky = value;
        } else {
            for (int i = 0; i < kTargetCount; ++i) {
                if (key == targetKey(i)) {
                    settings.targets[i] = value;
                }
            }
        }
    }
    return settings;
}

QString settingsFileName(const QString& folder) {
    const QString name = QString::fromUtf16(kSettingsFileName);
    // A host folder ends in '/' the way a Windows folder ends in '\'.
    const bool separated = folder.endsWith(u'\\') || folder.endsWith(u'/');
    return separated ? folder + name : folder + u'\\' + name;
}

void writeSettings(const QString& fileName, const SettingsToWrite& settings,
                   platform::LinkAtName links) {
    const QString section = QString::fromUtf16(kDefiniceSection);
    TIniFile ini(fileName, links);
    ini.EraseSection(section);
    if (codeIn(QString::number(settings.program), {1, 2, 4, 5, 6, 7, 8})) {
        ini.WriteString(section, QStringLiteral("program"), QString::number(settings.program));
    }
    if (codeIn(QString::number(settings.source), {1, 2})) {
        ini.WriteString(section, QStringLiteral("odkud"), QString::number(settings.source));
    }
    ini.WriteString(section, QStringLiteral("odkudcesta"), settings.packageFolder);
    if (codeIn(QString::number(settings.targetMode), {0, 1, 2})) {
        ini.WriteString(section, QStringLiteral("cilinstalace"),
                        QString::number(settings.targetMode));
    }
    for (int i = 0; i < kTargetCount; ++i) {
        ini.WriteString(section, targetKey(i), settings.targets[i]);
    }
    ini.WriteString(section, QStringLiteral("koukani"), flag(settings.koukani));
    ini.WriteString(section, QStringLiteral("automaticky"), flag(settings.automaticky));
    ini.WriteString(section, QStringLiteral("datum"), settings.date);
    // All keys go to disk in one rewrite here; a failure then is still this save's failure.
    if (!WritePrivateProfileStringW(std::nullopt, std::nullopt, std::nullopt, fileName, links)) {
        raiseUnableToWrite(fileName);
    }
}

}  // namespace selvanix
