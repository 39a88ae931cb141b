#pragma once

#include "app/TFrDRozbal.h"
#include "platform/FileOps.h"
#include "ui/BitBtn.h"
#include "ui/DirectoryEdit.h"
#include "ui/Label3D.h"
#include "ui/RadioGroup.h"

#include "support/ScriptedDialogs.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace selvanix::test {

// A window started from a temporary installer folder, with scripted dialogs.
class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() {
        platform::setInstallerFolder(folder.path());
        platform::setDialogs(dialogs);
    }
    ~WindowFixture() override {
        platform::setInstallerFolder(QString());
        platform::setDialogs(nullptr);
    }

    QString ownFolder() const { return folder.path() + u'/'; }
    QString settingsPath() const { return ownFolder() + QStringLiteral("upgrade.kac"); }
    void writeSettings(const QByteArray& definice) {
        writeBytes(settingsPath(), "[DEFINICE]\r\n" + definice);
    }
    // The DEFINICE lines of the installer's settings file.
    QStringList savedLines() const;

    std::unique_ptr<TFrDRozbal> open() {
        auto window = std::make_unique<TFrDRozbal>();
        window->show();
        return window;
    }

    QTemporaryDir folder;
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
};

}  // namespace selvanix::test
