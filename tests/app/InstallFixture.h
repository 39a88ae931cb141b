#pragma once

// The installation run's fixture: a real HTTP server on loopback serving packages made here,
// test drives over temporary folders, scripted dialogs and a shell that records what it is
// asked to open.
#include "WindowFixture.h"

#include "platform/ShellOpen.h"
#include "profile/IniFile.h"
#include "support/OtherUser.h"
#include "support/RecordingShell.h"
#include "support/SamplePackage.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFileInfo>

namespace selvanix::test {

class InstallRun : public WindowFixture {
protected:
    InstallRun() { platform::setShell(shell); }
    ~InstallRun() override { platform::setShell(nullptr); }

    void servePackage(bool withArchive = true) {
        server.route("/brodelik.ini", httpReply(200, descriptor(true)));
        if (withArchive) {
            server.route("/upgrade-brodelik.zip", httpReply(200, packageArchive()));
        }
    }
    std::unique_ptr<TFrDRozbal> start(const QByteArray& definice) {
        writeSettings(definice);
        auto w = open();
        w->setServer(server.url(QStringLiteral("/")));
        return w;
    }
    // Drive C: with an empty folder A, drive E: with the package in E:\pkg; returns C:'s root.
    QString packageOnDiskE(bool withRun) {
        const QString c = drives.add(u'C');
        const QString e = drives.add(u'E');
        QDir().mkpath(c + QStringLiteral("/A"));
        writeBytes(e + QStringLiteral("/pkg/brodelik.ini"), descriptor(withRun));
        writeBytes(e + QStringLiteral("/pkg/upgrade-brodelik.zip"), packageArchive());
        return c;
    }
    std::string reported() const {
        return dialogs->calls.empty() ? std::string() : dialogs->calls[0].text.toStdString();
    }
    static QString setting(const QString& file, const char* key) {
        return TIniFile(file).ReadString(QStringLiteral("DEFINICE"), QString::fromLatin1(key),
                                         QStringLiteral("<none>"));
    }
    static void expectInstalled(const QString& host) {
        for (const char* name : {"brodelik.exe", "data/brodelik.sql", "brodelik.chm",
                                 "lib/engine.dll", "pts/reports/list.fr3", "upgrade.kac"}) {
            EXPECT_TRUE(QFileInfo(host + u'/' + QLatin1String(name)).isFile()) << name;
        }
        for (const char* name : {"readme.txt", "docs", "reports", "pts/readme.txt"}) {
            EXPECT_FALSE(QFileInfo::exists(host + u'/' + QLatin1String(name))) << name;
        }
    }

    TestDrives drives;
    TestHttpServer server;
    std::shared_ptr<RecordingShell> shell = std::make_shared<RecordingShell>();
};

}  // namespace selvanix::test
