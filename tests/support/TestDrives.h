#pragma once

#include "platform/DriveMap.h"

#include <QString>
#include <QTemporaryDir>
#include <map>
#include <memory>

namespace selvanix::test {

// Drives over temporary folders, installed as the process's drive map for the object's life.
class TestDrives {
public:
    TestDrives();
    ~TestDrives();
    TestDrives(const TestDrives&) = delete;
    TestDrives& operator=(const TestDrives&) = delete;

    // Creates a folder for the drive and returns its host path.
    QString add(QChar letter, platform::DriveType type = platform::DRIVE_FIXED);
    QString root(QChar letter) const;

private:
    void install();

    QTemporaryDir base_;
    platform::DriveMap map_;
    std::map<char16_t, QString> roots_;
};

// Writes bytes to a host path, creating parent folders; fails the test on error.
void writeBytes(const QString& hostPath, const QByteArray& bytes);
QByteArray readBytes(const QString& hostPath);
// Text as UTF-16 with its byte-order mark.
QByteArray utf16Bytes(const QString& text, bool littleEndian);

}  // namespace selvanix::test
