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
#include <algorithm>
#include <memory>
#include <vector>

namespace selvanix::test {

// A control of the window as a user finds it: by its name in the window's tree.
template <typename W>
W* control(const QWidget& window, const char* name) {
    W* found = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Target row index 0 ... 9 (I ... X): its field and its label.
inline ui::DirectoryEdit* targetField(const QWidget& window, int index) {
    return control<ui::DirectoryEdit>(window,
                                      TFrDRozbal::targetRowName("EdKamCesta", index).constData());
}
inline QLabel* targetLabel(const QWidget& window, int index) {
    return control<QLabel>(window, TFrDRozbal::targetRowName("LbKamCesta", index).constData());
}

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
        const QRect panel = control<QWidget>(w, "PanUvodPravy")->rect();
        for (int i = 0; i < kTargetCount; ++i) {
            const ui::DirectoryEdit* field = targetField(w, i);
            const QRect shown(field->mapTo(control<QWidget>(w, "PanUvodPravy"), QPoint(0, 0)),
                              field->size());
            EXPECT_TRUE(panel.contains(shown)) << field->objectName().toStdString();
            EXPECT_GE(field->height(), 17);
        }
        return panel.height() -
               targetField(w, 9)->mapTo(control<QWidget>(w, "PanUvodPravy"), QPoint(0, 0)).y() -
               targetField(w, 9)->height();
    }

    // The lines a final screen shows, top to bottom: each at its full height, apart from the
    // next, and all above Konec, which lies inside the window.
    static QStringList finalLines(const TFrDRozbal& w) {
        QApplication::processEvents();
        const QWidget* konec = control<QWidget>(w, "BtnKonec");
        const QRect konecShown(konec->mapTo(&w, QPoint(0, 0)), konec->size());
        EXPECT_TRUE(w.rect().contains(konecShown));
        std::vector<std::pair<QRect, QString>> lines;
        for (const QLabel* line :
             control<QWidget>(w, "PanInst")->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (line->isVisible()) {
                EXPECT_EQ(line->height(), line->minimumHeight())
                    << line->objectName().toStdString();
                lines.emplace_back(QRect(line->mapTo(&w, QPoint(0, 0)), line->size()),
                                   line->objectName());
            }
        }
        // The reason's place, which wraps and scrolls rather than keep one band's height.
        const QWidget* reason = control<QWidget>(w, "ScReason");
        if (reason->isVisible()) {
            lines.emplace_back(QRect(reason->mapTo(&w, QPoint(0, 0)), reason->size()),
                               QStringLiteral("LbReason"));
        }
        std::sort(lines.begin(), lines.end(),
                  [](const auto& a, const auto& b) { return a.first.top() < b.first.top(); });
        QStringList names;
        int bottom = -1;
        for (const auto& [shown, name] : lines) {
            EXPECT_GT(shown.top(), bottom) << name.toStdString() << " covers the line above";
            bottom = shown.bottom();
            names << name;
        }
        EXPECT_LT(bottom, konecShown.top()) << "the lines reach Konec";
        return names;
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
