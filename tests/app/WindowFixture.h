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
#include <QApplication>
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
        // The support log goes into the test's folder, not the user's.
        qputenv("XDG_STATE_HOME", QFile::encodeName(folder.path() + QStringLiteral("/state")));
    }
    ~WindowFixture() override {
        platform::setInstallerFolder(QString());
        platform::setDialogs(nullptr);
        qunsetenv("XDG_STATE_HOME");
    }

    QString logPath() const {
        return folder.path() + QStringLiteral("/state/selvanix/selvanix.log");
    }

    QString ownFolder() const { return folder.path() + u'/'; }
    QString settingsPath() const { return ownFolder() + QStringLiteral("upgrade.kac"); }
    void writeSettings(const QByteArray& definice) {
        writeBytes(settingsPath(), "[DEFINICE]\r\n" + definice);
    }
    // The DEFINICE lines of the installer's settings file.
    QStringList savedLines() const;

    // Every target field lies whole inside its panel and is at least 17 high; returns the
    // empty band left below the tenth row.
    static int expectRowsWhole(const TFrDRozbal& w) {
        QApplication::processEvents();
        const QRect panel = w.PanUvodPravy->rect();
        for (const ui::DirectoryEdit* field : w.EdKamCesta) {
            const QRect shown(field->mapTo(w.PanUvodPravy, QPoint(0, 0)), field->size());
            EXPECT_TRUE(panel.contains(shown)) << field->objectName().toStdString();
            EXPECT_GE(field->height(), 17);
        }
        return panel.height() - w.EdKamCesta[9]->mapTo(w.PanUvodPravy, QPoint(0, 0)).y() -
               w.EdKamCesta[9]->height();
    }

    std::unique_ptr<TFrDRozbal> open() {
        auto window = std::make_unique<TFrDRozbal>();
        window->show();
        return window;
    }

    QTemporaryDir folder;
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
};

}  // namespace selvanix::test
