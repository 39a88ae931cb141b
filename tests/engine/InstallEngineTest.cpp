// The installation run driven directly, as the window and the command line drive it: what it
// does to the targets and, in order, what it tells its observer.
#include "engine/InstallEngine.h"
#include "engine/OutcomeDetail.h"
#include "engine/RunLog.h"
#include "net/WebHTTPGet.h"
#include "platform/FileOps.h"
#include "platform/ShellOpen.h"
#include "profile/IniFile.h"

#include "support/RecordingShell.h"
#include "support/SamplePackage.h"
#include "support/ScriptedDialogs.h"
#include "support/SignedPackage.h"
#include "support/TestDrives.h"
#include "support/TestHttpServer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace selvanix::test {
namespace {

// Downloads run here, without a window.
class PlainFetcher final : public HttpFetcher {
public:
    using HttpFetcher::HttpFetcher;

    // Runs once each file is saved, as whoever else writes the folder might.
    std::function<void(const QString& name)> saved;

protected:
    bool transfer(net::WebHTTPGet& get) override {
        get.Process(false, false);
        if (saved) {
            saved(get.DestinationName);
        }
        return true;  // false only for a cancel
    }
};

// Every step as a short line.
class RecordingObserver : public RunObserver {
public:
    void downloadStarted(const QString&, const QString& name) override {
        steps << "download " + name;
    }
    void packageLooked(const QString&, bool found) override {
        steps << (found ? QStringLiteral("package found") : QStringLiteral("package not found"));
    }
    void packageMissing(PackageProblem problem, const QString& reason) override {
        const auto [a, b] = problemHeadline(problem);
        steps << "missing " + a + " / " + b + ": " + reason;
    }
    void descriptorRead(const PackageInfo& info) override {
        steps << "descriptor " + info.name + ' ' + info.version + ' ' + info.date + ' ' + info.run;
    }
    void targetFound(const QString& target) override { steps << "found " + target; }
    void noTarget(const QString& reason, const SearchSkips&) override {
        steps << "no target: " + reason;
    }
    void targetStarted(const QString& target, int index, int count) override {
        steps << QStringLiteral("target %1 of %2: %3").arg(index + 1).arg(count).arg(target);
        if (onTarget) {
            onTarget();
        }
    }
    void targetUnchanged(const QString& target) override { steps << "unchanged " + target; }
    void entryFailed(const EntryFailure& failure) override {
        steps
            << QStringLiteral("entry %1 failed, answer %2").arg(failure.entry).arg(failure.answer);
    }
    void entrySkipped(const QString& entry) override { steps << "skipped " + entry; }
    void programStarted(const QString& target, const QString& program) override {
        steps << "started " + program + " in " + target;
    }
    void targetFailed(const QString& target, const QString& reason) override {
        steps << "failed " + target + ": " + reason;
    }
    void installed(const RunResult& result, const SearchSkips&, const QString& problem) override {
        steps << QStringLiteral("installed %1, unchanged %2%3")
                     .arg(result.installed)
                     .arg(result.unchanged)
                     .arg(problem.isEmpty() ? QString() : "; " + problem);
    }

    QStringList steps;
    std::function<void()> onTarget;
};

class Engine : public ::testing::Test {
protected:
    Engine() {
        platform::setInstallerFolder(own.path() + u'/');
        platform::setDialogs(dialogs);
        platform::setShell(shell);
        c = drives.add(u'C');
        QDir().mkpath(c + "/A");
        QDir().mkpath(c + "/B");
        engine.setLog(&log);
    }
    ~Engine() override {
        platform::setInstallerFolder(QString());
        platform::setDialogs(nullptr);
        platform::setShell(nullptr);
    }
    RunRequest request(const QStringList& targets) const {
        RunRequest r;
        r.product = 1;
        r.source = PackageSource::Internet;
        r.baseUrl = server.url(QStringLiteral("/"));
        for (int i = 0; i < targets.size(); ++i) {
            r.fields[i] = targets[i];
        }
        return r;
    }
    void serve(const QByteArray& archive = packageArchive()) {
        server.route("/brodelik.ini", httpReply(200, descriptor(true)));
        server.route("/upgrade-brodelik.zip", httpReply(200, archive));
    }
    static QString setting(const QString& file, const char* key) {
        return TIniFile(file).ReadString(QStringLiteral("DEFINICE"), QString::fromLatin1(key),
                                         QStringLiteral("<none>"));
    }

    QTemporaryDir own;
    TestDrives drives;
    QString c;
    TestHttpServer server;
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
    std::shared_ptr<RecordingShell> shell = std::make_shared<RecordingShell>();
    RecordingObserver observer;
    net::WebHTTPGet get;
    TPakovna archiver;
    FolderListings listings;
    RunLog log{own.path() + "/run.log"};
    DialogQuestions questions;
    PlainFetcher fetcher{get};
    InstallEngine engine{observer, questions, fetcher, archiver, listings};
};

TEST_F(Engine, InstallsIntoEachTargetInOrderAndSaysEveryStep) {
    serve();
    const RunResult result = engine.run(request({"C:\\A", "C:\\B"}));
    EXPECT_EQ(result.outcome, RunOutcome::Installed);
    EXPECT_EQ(result.installed, 2);
    EXPECT_TRUE(result.changed());
    EXPECT_EQ(observer.steps,
              (QStringList{"download brodelik.ini", "download upgrade-brodelik.zip",
                           "package found", "descriptor Brodělík 14,20 12.5.2023 brodelik.exe",
                           "found C:\\A", "found C:\\B", "target 1 of 2: C:\\A",
                           "target 2 of 2: C:\\B", "started brodelik.exe in C:\\A\\",
                           "started brodelik.exe in C:\\B\\", "installed 2, unchanged 0"}));
    ASSERT_EQ(shell->requests.size(), 2u);
    EXPECT_EQ(shell->requests[1].dir, QStringLiteral("C:\\B\\"));
    // Each target's settings name it first, the other fields as they were.
    EXPECT_EQ(setting(c + "/B/upgrade.kac", "kamcestaI"), QStringLiteral("C:\\B"));
    EXPECT_EQ(setting(c + "/B/upgrade.kac", "kamcestaII"), QStringLiteral("C:\\B"));
    EXPECT_EQ(setting(c + "/A/upgrade.kac", "kamcestaII"), QStringLiteral("C:\\B"));
    EXPECT_EQ(setting(c + "/A/upgrade.kac", "odkud"), QStringLiteral("1"));
    for (const char* t : {"/A", "/B"}) {
        const QByteArray manifest = readBytes(c + t + "/.selvanix/manifest");
        EXPECT_TRUE(manifest.contains("\nfile ")) << t;
        EXPECT_TRUE(manifest.contains(" pts/reports/list.fr3\n")) << manifest.toStdString();
    }
    const QByteArray written = readBytes(own.path() + "/run.log");
    EXPECT_TRUE(written.contains("target C:\\B: installed")) << written.toStdString();
}

TEST_F(Engine, ATargetHoldingThePackageIsLeftAloneOnlyWhenAsked) {
    serve();
    ASSERT_EQ(engine.run(request({"C:\\A"})).installed, 1);
    shell->requests.clear();
    observer.steps.clear();
    RunRequest again = request({"C:\\A"});
    again.keepUnchanged = true;
    const RunResult kept = engine.run(again);
    EXPECT_EQ(kept.outcome, RunOutcome::Installed);
    EXPECT_EQ(kept.unchanged, 1);
    EXPECT_FALSE(kept.changed());
    EXPECT_TRUE(observer.steps.contains("unchanged C:\\A"));
    EXPECT_TRUE(shell->requests.empty());
    // The window asks for no such thing: it installs again.
    const RunResult window = engine.run(request({"C:\\A"}));
    EXPECT_EQ(window.installed, 1);
    EXPECT_EQ(shell->requests.size(), 1u);
}

TEST_F(Engine, AStopEndsTheRunInterruptedWithNoRecordAndNothingStarted) {
    serve();
    observer.onTarget = [this] { engine.requestStop(); };
    const RunResult result = engine.run(request({"C:\\A", "C:\\B"}));
    EXPECT_EQ(result.outcome, RunOutcome::Interrupted);
    EXPECT_FALSE(result.reason.isEmpty());
    EXPECT_TRUE(shell->requests.empty());
    EXPECT_FALSE(QFileInfo::exists(c + "/A/.selvanix/manifest"));
    EXPECT_FALSE(QFileInfo::exists(c + "/A/brodelik.exe"));
    EXPECT_FALSE(observer.steps.contains("target 2 of 2: C:\\B"));
    EXPECT_EQ(QDir(c + "/B").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 0);
}

TEST_F(Engine, AFailedEntryIsAnsweredCountedAndNeverRecordedAsAWholePackage) {
    serve();
    QDir().mkpath(c + "/A/brodelik.chm");  // a folder where a file must go
    dialogs->messageAnswers = {platform::MessageResult::Ignore};
    const RunResult ignored = engine.run(request({"C:\\A"}));
    EXPECT_EQ(ignored.outcome, RunOutcome::Skipped);
    EXPECT_EQ(ignored.skippedEntries, 1);
    EXPECT_TRUE(observer.steps.contains("entry brodelik.chm failed, answer 1"))
        << observer.steps.join(u'\n').toStdString();
    // What went in is recorded, without the archive's hash: it is not the whole package.
    const QByteArray record = readBytes(c + "/A/.selvanix/manifest");
    EXPECT_TRUE(record.contains("\nsha256 \n")) << record.toStdString();
    EXPECT_TRUE(record.contains(" brodelik.exe\n"));
    EXPECT_FALSE(record.contains("brodelik.chm"));

    QFile::remove(c + "/A/brodelik.exe");
    dialogs->messageAnswers = {platform::MessageResult::Abort};
    const RunResult aborted = engine.run(request({"C:\\A"}));
    EXPECT_EQ(aborted.outcome, RunOutcome::TargetFailed);
    EXPECT_TRUE(aborted.reason.startsWith(QStringLiteral("Balíček se nepodařilo rozbalit do ")))
        << aborted.reason.toStdString();
    // Abort replaced nothing: the file removed above stays missing, the record as it was.
    EXPECT_FALSE(QFileInfo::exists(c + "/A/brodelik.exe"));
    EXPECT_EQ(readBytes(c + "/A/.selvanix/manifest"), record);
    EXPECT_TRUE(observer.steps.last().startsWith("failed C:\\A: "))
        << observer.steps.last().toStdString();
}

TEST_F(Engine, NothingToInstallSaysWhyWithItsOwnOutcome) {
    const RunResult missing = engine.run(request({"C:\\A"}));
    EXPECT_EQ(missing.outcome, RunOutcome::NoPackage);
    EXPECT_TRUE(missing.reason.contains(QStringLiteral("HTTP 404")))
        << missing.reason.toStdString();
    EXPECT_TRUE(observer.steps.last().startsWith("missing Nebyl nalezen / instalační balíček"));

    serve();
    RunRequest signedOnly = request({"C:\\A"});
    signedOnly.publicKey = QStringLiteral("AvP9MddvPxSVWOvscLoap6Zf9CttwnNI34aPjeKirC0=");
    EXPECT_EQ(engine.run(signedOnly).outcome, RunOutcome::Refused);
    EXPECT_FALSE(QFileInfo::exists(c + "/A/brodelik.exe"));

    const RunResult nowhere = engine.run(request({}));
    EXPECT_EQ(nowhere.outcome, RunOutcome::NoTarget);
    EXPECT_TRUE(observer.steps.last().startsWith("no target: "));

    // A target that cannot take its settings fails the run with the reason, raised again.
    QDir().mkpath(c + "/A/upgrade.kac");
    EXPECT_ANY_THROW(engine.run(request({"C:\\A"})));
    EXPECT_TRUE(observer.steps.last().startsWith("failed C:\\A: "));
}

// A package folder another user controls holds a pipe where the archive or the descriptor
// should be: the run says so at once instead of waiting for a writer that never comes.
TEST_F(Engine, APipeInsteadOfThePackagesFilesEndsTheRunAtOnce) {
    const QString pkg = c + "/pkg";
    QDir().mkpath(pkg);
    writeBytes(pkg + "/brodelik.ini", descriptor(true));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pkg + "/upgrade-brodelik.zip").constData(), 0666), 0);
    RunRequest r = request({"C:\\A"});
    r.source = PackageSource::Folder;
    r.packageFolder = QStringLiteral("C:\\pkg");
    r.publicKey = QString::fromLatin1(signing::PrivateKey::generate()->publicKey().base64());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(engine.run(r).outcome, RunOutcome::NoPackage);
    QFile::remove(pkg + "/upgrade-brodelik.zip");
    QFile::remove(pkg + "/brodelik.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pkg + "/brodelik.ini").constData(), 0666), 0);
    writeBytes(pkg + "/upgrade-brodelik.zip", packageArchive());
    EXPECT_EQ(engine.run(r).outcome, RunOutcome::Refused);  // an empty descriptor is unsigned
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(QDir(c + "/A").isEmpty());
}

// What was checked is what is used: the descriptor and the archive swapped on the disk once
// the first target is under way change neither the program started nor the files installed.
TEST_F(Engine, FilesSwappedAfterTheCheckChangeNothingInstalledOrStarted) {
    const auto key = signing::PrivateKey::generate();
    ASSERT_TRUE(key);
    const QByteArray zip = packageArchive();
    server.route("/brodelik.ini", httpReply(200, signedDescriptor(*key, zip, {}, {})));
    server.route("/upgrade-brodelik.zip", httpReply(200, zip));
    ZipWriter evil;
    ZipEntry program;
    program.name = "brodelik.exe";
    program.data = "#!/bin/sh\nid > PWNED\n";
    evil.entries.push_back(program);
    Values other;
    other.run = QStringLiteral("evil.exe");
    // Replaced by name, as anyone who can write the folder can.
    observer.onTarget = [&] {
        for (const auto& [name, bytes] :
             {std::pair{QStringLiteral("brodelik.ini"), signedDescriptor(*key, zip, {}, other, "")},
              std::pair{QStringLiteral("upgrade-brodelik.zip"), evil.build()}}) {
            writeBytes(own.path() + "/swap", bytes);
            ASSERT_EQ(::rename(QFile::encodeName(own.path() + "/swap").constData(),
                               QFile::encodeName(own.path() + u'/' + name).constData()),
                      0);
        }
    };
    RunRequest r = request({"C:\\A", "C:\\B"});
    r.publicKey = QString::fromLatin1(key->publicKey().base64());
    const RunResult result = engine.run(r);
    EXPECT_EQ(result.outcome, RunOutcome::Installed) << result.reason.toStdString();
    for (const char* t : {"/A/brodelik.exe", "/B/brodelik.exe"}) {
        EXPECT_EQ(readBytes(c + t), kProgram) << t;
    }
    ASSERT_EQ(shell->requests.size(), 2u);
    for (const platform::ShellRequest& started : shell->requests) {
        EXPECT_EQ(started.file, QStringLiteral("brodelik.exe"));
    }
}

// The descriptor is read the moment it is saved: rewritten while the archive downloads, it
// changes neither what the run shows nor the program it starts.
TEST_F(Engine, ADescriptorRewrittenAfterItsFetchIsNotTheOneTheRunUses) {
    serve();
    fetcher.saved = [&](const QString& name) {
        if (name == QStringLiteral("upgrade-brodelik.zip")) {
            writeBytes(own.path() + "/brodelik.ini",
                       "[DEFINICE]\r\nhledany=brodelik.exe\r\nnazev=Other\r\nverze=99\r\n"
                       "run=evil.exe\r\n");
        }
    };
    const RunResult result = engine.run(request({"C:\\A"}));
    EXPECT_EQ(result.outcome, RunOutcome::Installed) << result.reason.toStdString();
    EXPECT_EQ(result.version, QStringLiteral("14,20"));
    EXPECT_TRUE(
        observer.steps.contains(QStringLiteral("descriptor Brodělík 14,20 12.5.2023 brodelik.exe")))
        << observer.steps.join(u'\n').toStdString();
    ASSERT_EQ(shell->requests.size(), 1u);
    EXPECT_EQ(shell->requests.front().file, QStringLiteral("brodelik.exe"));
}

}  // namespace
}  // namespace selvanix::test
