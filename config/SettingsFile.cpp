#include "SettingsFile.h"

#include "profile/IniFile.h"
#include "profile/PrivateProfile.h"
#include "profile/ProfileText.h"

#include <vector>

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

namespace {

// The installer's section, key by key in the order it is written.
std::vector<std::pair<QString, QString>> settingsValues(const SettingsToWrite& settings) {
    std::vector<std::pair<QString, QString>> values;
    if (codeIn(QString::number(settings.program), {1, 2, 4, 5, 6, 7, 8})) {
        values.emplace_back(QStringLiteral("program"), QString::number(settings.program));
    }
    if (codeIn(QString::number(settings.source), {1, 2})) {
        values.emplace_back(QStringLiteral("odkud"), QString::number(settings.source));
    }
    values.emplace_back(QStringLiteral("odkudcesta"), settings.packageFolder);
    if (codeIn(QString::number(settings.targetMode), {0, 1, 2})) {
        values.emplace_back(QStringLiteral("cilinstalace"), QString::number(settings.targetMode));
    }
    for (int i = 0; i < kTargetCount; ++i) {
        values.emplace_back(targetKey(i), settings.targets[i]);
    }
    values.emplace_back(QStringLiteral("koukani"), flag(settings.koukani));
    values.emplace_back(QStringLiteral("automaticky"), flag(settings.automaticky));
    values.emplace_back(QStringLiteral("datum"), settings.date);
    return values;
}

}  // namespace

void writeSettings(const QString& fileName, const SettingsToWrite& settings,
                   platform::LinkAtName links) {
    const QString section = QString::fromUtf16(kDefiniceSection);
    TIniFile ini(fileName, links);
    ini.EraseSection(section);
    for (const auto& [key, value] : settingsValues(settings)) {
        ini.WriteString(section, key, value);
    }
    // All keys go to disk in one rewrite here; a failure then is still this save's failure.
    if (!WritePrivateProfileStringW(std::nullopt, std::nullopt, std::nullopt, fileName, links)) {
        raiseUnableToWrite(fileName);
    }
}

QByteArray settingsContent(const QString& fileName, const QByteArray& existing,
                           const SettingsToWrite& settings) {
    const QString section = QString::fromUtf16(kDefiniceSection);
    ProfileText text = existing.isNull() ? ProfileText() : ProfileText::decode(existing);
    text.eraseSection(section);
    for (const auto& [key, value] : settingsValues(settings)) {
        if (!ProfileText::isWritableValue(value)) {
            raiseUnableToWrite(fileName);
        }
        text.setValue(section, key, value);
    }
    return text.encode();
}

}  // namespace selvanix
