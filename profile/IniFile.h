#pragma once

#include "platform/Exception.h"
#include "platform/handles/AtomicFile.h"

#include <QString>
#include <QStringList>

namespace selvanix {

// A "key=value" line of ReadSectionValues split at its first '=' (the value may hold more).
struct ProfileEntry {
    QString key;
    QString value;
};
ProfileEntry splitEntry(const QString& line);

// A profile write that failed: "Unable to write to <file name>".
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};
[[noreturn]] void raiseUnableToWrite(const QString& fileName);

// A profile file bound to one name; every call goes to the file at once.
class TIniFile {
public:
    // Writes under LinkAtName::Replace never go through a link at the file name.
    explicit TIniFile(QString fileName, platform::LinkAtName links = platform::LinkAtName::Follow);
    ~TIniFile();  // writes pending changes, ignoring the result
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const QString& FileName() const { return fileName_; }

    // Clears lines, then adds key=value for each key of the section.
    void ReadSectionValues(const QString& section, QStringList& lines) const;
    void EraseSection(const QString& section);
    void WriteString(const QString& section, const QString& key, const QString& value);

    void ReadSection(const QString& section, QStringList& keys) const;
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    void UpdateFile();

private:
    [[noreturn]] void raiseWriteError() const;

    QString fileName_;
    platform::LinkAtName links_;
};

}  // namespace selvanix
