#pragma once

#include "platform/handles/AtomicFile.h"

#include <QString>
#include <array>
#include <optional>

namespace selvanix {

// The installer's settings file as it is stored, one section "DEFINICE".
inline constexpr char16_t kSettingsFileName[] = u"upgrade.kac";
inline constexpr char16_t kDefiniceSection[] = u"DEFINICE";
inline constexpr int kTargetCount = 10;

// "kamcestaI" ... "kamcestaX".
QString targetKey(int index);

// What a settings file holds; a field stays empty when its key is missing or its value is not
// recognised.
struct StoredSettings {
    std::optional<int> program;  // 1..8, 3 included
    std::optional<int> source;   // 1 or 2
    std::optional<QString> packageFolder;
    std::optional<int> targetMode;  // 0, 1 or 2
    std::array<std::optional<QString>, kTargetCount> targets;
    std::optional<QString> koukani;
    std::optional<QString> automaticky;
};

// Entries apply in file order, keys and values compared exactly.
StoredSettings readSettings(const QString& fileName);

// What is written, in the file's key order.
struct SettingsToWrite {
    int program = 0;  // written only for a product code
    int source = 0;   // written only for 1 and 2
    QString packageFolder;
    int targetMode = 0;  // written only for 0, 1 and 2
    std::array<QString, kTargetCount> targets;
    bool koukani = false;
    bool automaticky = false;
    QString date;
};

// The settings file of a folder: folder + "upgrade.kac" when it ends in '\' (or '/'), else
// folder + "\upgrade.kac".
QString settingsFileName(const QString& folder);

// Erases the section, then writes every key; raises EIniFileException. A target folder's file
// is written with LinkAtName::Replace, so a planted link cannot redirect it.
void writeSettings(const QString& fileName, const SettingsToWrite& settings,
                   platform::LinkAtName links = platform::LinkAtName::Follow);
// The settings file's new content, made from its old bytes (null: no file) as writeSettings
// would write it: every other section and line kept, the installer's section written anew.
// A value no file can hold raises the same error as a failed write of fileName.
QByteArray settingsContent(const QString& fileName, const QByteArray& existing,
                           const SettingsToWrite& settings);

}  // namespace selvanix
