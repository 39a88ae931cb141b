#include "TestDrives.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace selvanix::test {

TestDrives::TestDrives() {
    // Our own folder: another user may pass through it to the drives (0755 below), which the
    // tests that run as an unprivileged user need; nothing above it is touched.
    QFile::setPermissions(base_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                            QFileDevice::ExeOther);
    install();
}

TestDrives::~TestDrives() {
    platform::setDriveMap(platform::DriveMap{});
}

QString TestDrives::add(QChar letter, platform::DriveType type) {
    const QString path = base_.path() + QStringLiteral("/drive_") + letter.toUpper();
    QDir().mkpath(path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                    QFileDevice::ExeOther);
    map_.setDrive(letter, path, type);
    roots_[letter.toUpper().unicode()] = path;
    install();
    return path;
}

QString TestDrives::root(QChar letter) const {
    const auto it = roots_.find(letter.toUpper().unicode());
    return it == roots_.end() ? QString() : it->second;
}

void TestDrives::install() {
    platform::setDriveMap(map_);
}

void writeBytes(const QString& hostPath, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(hostPath).absolutePath());
    QFile f(hostPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << hostPath.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& hostPath) {
    QFile f(hostPath);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

QByteArray utf16Bytes(const QString& text, bool littleEndian) {
    QByteArray out(littleEndian ? "\xFF\xFE" : "\xFE\xFF");
    for (const QChar ch : text) {
        const char lo = static_cast<char>(ch.unicode() & 0xFF);
        const char hi = static_cast<char>(ch.unicode() >> 8);
        out.append(littleEndian ? lo : hi).append(littleEndian ? hi : lo);
    }
    return out;
}

}  // namespace selvanix::test
