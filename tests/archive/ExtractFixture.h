#pragma once

#include "ArchiveTesting.h"

#include "archive/Pakovna.h"
#include "platform/Dialogs.h"

#include "support/ScriptedDialogs.h"
#include "support/TestDrives.h"

#include <sys/stat.h>
#include <QDir>
#include <QFileInfo>
#include <memory>

namespace selvanix::test {

// The archiver over C:\pkg.zip, extracting below C:\T, with scripted dialogs.
class ExtractFiles : public ::testing::Test {
protected:
    ExtractFiles() : umask_(::umask(022)) {
        platform::setDialogs(dialogs);
        base = drives.add(u'C') + "/T";
        archive = drives.root(u'C') + "/pkg.zip";
    }
    ~ExtractFiles() override {
        platform::setDialogs(nullptr);
        ::umask(umask_);
    }

    void write(const ZipWriter& w) { writeBytes(archive, w.build()); }
    void open() {
        arc.FileName = "C:\\pkg.zip";
        arc.OpenArchive(0);
        arc.BaseDir = "C:\\T";
    }
    // Extracts with every failure answered Ignore; returns the failures' native errors.
    QList<int> extract(const QString& mask = "*.*") {
        QList<int> natives;
        arc.OnProcessFileFailure = [&](TPakovna&, const QString&, TArcProcessOperation, int native,
                                       int, const QString&, TArcAction& action) {
            natives << native;
            action = fxaIgnore;
        };
        arc.ExtractFiles(mask);
        return natives;
    }
    QStringList filesBelow(const QString& folder) const {
        QStringList found;
        const QDir root(folder);
        for (const QFileInfo& info :
             QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            if (info.isDir()) {
                found << root.relativeFilePath(info.filePath()) + "/";
                for (const QString& inner : filesBelow(info.filePath())) {
                    found << root.relativeFilePath(info.filePath()) + "/" + inner;
                }
            } else {
                found << root.relativeFilePath(info.filePath());
            }
        }
        found.sort();
        return found;
    }

    mode_t umask_;
    TestDrives drives;
    QString base;
    QString archive;
    TPakovna arc;
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
};

}  // namespace selvanix::test
