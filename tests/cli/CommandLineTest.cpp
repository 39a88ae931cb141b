// The installation run from a shell: no display, answers a script can read, exit codes that
// never call a failure a success.
#include "CliFixture.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDateTime>
#include <QJsonArray>
#include <QThread>
#include <csignal>

namespace selvanix::test {
namespace {

using CommandLine = CommandLineFixture;

QStringList installArgs(const QString& target, const QStringList& more = {}) {
    return QStringList{QStringLiteral("install"),
                       QStringLiteral("--product"),
                       QStringLiteral("brodelik"),
                       QStringLiteral("--source"),
                       QStringLiteral("internet"),
                       QStringLiteral("--target"),
                       target,
                       QStringLiteral("--json")} +
           more;
}

QStringList filesBelow(const QString& folder) {
    QStringList names;
    QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(
             QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        names << info.fileName();
        if (info.isDir() && !info.isSymLink()) {
            for (const QString& below : filesBelow(info.filePath())) {
                names << info.fileName() + u'/' + below;
            }
        }
    }
    return names;
}

TEST_F(CommandLine, InstallsWithoutADisplayAndASecondRunChangesNothing) {
    writeSettings();
    servePackage();
    const CliRun first = run(installArgs(target()));
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString() << first.out.toStdString();
    EXPECT_TRUE(first.err.isEmpty()) << first.err.toStdString();
    const QJsonObject descriptor = first.event("descriptor");
    EXPECT_EQ(descriptor.value("name").toString(), QStringLiteral("Brodělík"));
    EXPECT_EQ(descriptor.value("version").toString(), QStringLiteral("14,20"));
    EXPECT_EQ(first.event("target-started").value("target").toString(), target());
    EXPECT_EQ(first.outcome().value("outcome").toString(), QStringLiteral("installed"));
    EXPECT_EQ(first.outcome().value("exit").toInt(), 0);
    EXPECT_TRUE(first.outcome().value("changed").toBool());
    EXPECT_EQ(first.outcome().value("version").toString(), QStringLiteral(SELVANIX_VERSION));
    // The outcome says which version went where, as the installed event does.
    for (const QJsonObject& where : {first.outcome(), first.event("installed")}) {
        EXPECT_EQ(where.value("package_version").toString(), QStringLiteral("14,20"));
        EXPECT_EQ(where.value("targets").toArray(), QJsonArray{target()});
    }
    for (const char* name : {"brodelik.exe", "data/brodelik.sql", "brodelik.chm", "lib/engine.dll",
                             "pts/reports/list.fr3", "upgrade.kac", ".selvanix/manifest"}) {
        EXPECT_TRUE(QFileInfo(target() + u'/' + QLatin1String(name)).isFile()) << name;
    }
    const QByteArray manifest = readBytes(target() + QStringLiteral("/.selvanix/manifest"));
    EXPECT_TRUE(manifest.contains("stem brodelik\n")) << manifest.toStdString();
    EXPECT_TRUE(manifest.contains(" 15 data/brodelik.sql\n")) << manifest.toStdString();
    EXPECT_FALSE(manifest.contains("readme.txt"));
    // The program was started in its target, detached, its output not in the JSON.
    for (int i = 0; i < 500 && !QFileInfo::exists(target() + "/started.txt"); ++i) {
        QThread::msleep(20);
    }
    EXPECT_TRUE(QFileInfo::exists(target() + "/started.txt"));

    const QDateTime settingsTime = QFileInfo(target() + "/upgrade.kac").lastModified();
    QFile::remove(target() + "/started.txt");
    QThread::msleep(20);
    const CliRun second = run(installArgs(target()));
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_FALSE(second.outcome().value("changed").toBool());
    EXPECT_EQ(second.event("target-unchanged").value("target").toString(), target());
    EXPECT_TRUE(second.event("target-started").isEmpty());
    EXPECT_EQ(QFileInfo(target() + "/upgrade.kac").lastModified(), settingsTime);
    QThread::msleep(200);
    EXPECT_FALSE(QFileInfo::exists(target() + "/started.txt")) << "started again";

    // A file changed since is no longer this package: the target is installed again.
    writeBytes(target() + "/lib/engine.dll", "DLL");
    const CliRun third = run(installArgs(target()));
    EXPECT_EQ(third.exitCode, 0);
    EXPECT_TRUE(third.outcome().value("changed").toBool());
    EXPECT_EQ(readBytes(target() + "/lib/engine.dll"), QByteArray("dll"));
}

// A log that cannot be kept never stops a run: one warning, and the installation goes on.
TEST_F(CommandLine, ALogThatCannotBeKeptIsOneWarning) {
    writeSettings();
    servePackage();
    const QString missing = root.path() + "/no/such/folder/run.log";
    const CliRun run1 = run(installArgs(target(), {"--log", missing}));
    EXPECT_EQ(run1.exitCode, 0) << run1.out.toStdString();
    EXPECT_EQ(run1.err.count('\n'), 1) << run1.err.toStdString();
    EXPECT_TRUE(run1.err.startsWith("selvanix: warning: no log is kept in " + missing.toUtf8()))
        << run1.err.toStdString();
    EXPECT_TRUE(QFileInfo(target() + "/brodelik.exe").isFile());
}

// A package a script made by piping its files through zip installs whole: the pipe's mode
// zip records makes no special file.
TEST_F(CommandLine, APackageZipWroteFromAPipeInstalls) {
    writeSettings();
    const QString pkg = root.path() + "/pkg";
    QDir().mkpath(pkg);
    writeBytes(pkg + "/brodelik.ini", descriptor(false));
    const QString zip = pkg + "/upgrade-brodelik.zip";
    const QString command =
        QStringLiteral(
            "printf '#!/bin/sh\\n' | zip -q -fd '%1' - && printf '@ -\\n@=brodelik.exe\\n' "
            "| zipnote -w '%1'")
            .arg(zip);
    ASSERT_EQ(QProcess::execute("sh", {"-c", command}), 0);
    const CliRun done =
        run({"install", "--product", "brodelik", "--source", pkg, "--target", target(), "--json"});
    EXPECT_EQ(done.exitCode, 0) << done.out.toStdString();
    EXPECT_TRUE(QFileInfo(target() + "/brodelik.exe").isFile());
    EXPECT_EQ(readBytes(target() + "/brodelik.exe"), QByteArray("#!/bin/sh\n"));
    EXPECT_EQ(run({"verify", "--target", target()}).exitCode, 0);
}

// The record names each file where it landed: an entry named with "." or a doubled slash is
// recorded under its plain path, so verify, repair and the next update find it there.
TEST_F(CommandLine, TheRecordNamesEachFileWhereItLanded) {
    writeSettings();
    ZipEntry odd;
    odd.name = "lib/./extra//odd.dll";
    odd.data = "odd";
    servePackage(packageArchive({odd}));
    const CliRun done = run(installArgs(target()));
    ASSERT_EQ(done.exitCode, 0) << done.out.toStdString();
    EXPECT_EQ(readBytes(target() + "/lib/extra/odd.dll"), QByteArray("odd"));
    const QByteArray record = readBytes(target() + "/.selvanix/manifest");
    EXPECT_TRUE(record.contains(" lib/extra/odd.dll\n")) << record.toStdString();
    EXPECT_FALSE(record.contains("./")) << record.toStdString();
    EXPECT_EQ(run({"verify", "--target", target()}).exitCode, 0);
    // A second installation of the same package keeps the file: it is the planned one.
    EXPECT_EQ(run(installArgs(target())).exitCode, 0);
    EXPECT_EQ(readBytes(target() + "/lib/extra/odd.dll"), QByteArray("odd"));
}

// The points where tests kill or hold a run are in the program the tests start, never in
// the shipped one: it neither names them nor obeys them.
TEST_F(CommandLine, TheShippedProgramHasNoTestPoints) {
    const QByteArray shipped = readBytes(QStringLiteral(SELVANIX_BINARY));
    const QByteArray hooked = readBytes(QStringLiteral(SELVANIX_HOOKED_BINARY));
    for (const char* name : {"SELVANIX_KILL_AT", "SELVANIX_PAUSE_AT", "SELVANIX_LOCK_WAIT_MS"}) {
        EXPECT_FALSE(shipped.contains(name)) << name;
        EXPECT_TRUE(hooked.contains(name)) << name << ": the check means something";
    }
    writeSettings();
    servePackage();
    env["SELVANIX_KILL_AT"] = "1";
    const CliRun done = run(installArgs(target()));
    env.erase("SELVANIX_KILL_AT");
    EXPECT_EQ(done.exitCode, 0) << done.out.toStdString();
    EXPECT_TRUE(QFileInfo(target() + "/brodelik.exe").isFile());
}

TEST_F(CommandLine, PlainOutputHasALinePerStepAndNoControlCharacters) {
    writeSettings();
    QByteArray ini = descriptor(false);
    ini.replace("nazev=", "nazev=\x1b[31mRed\x07");
    server.route("/brodelik.ini", httpReply(200, ini));
    server.route("/upgrade-brodelik.zip", httpReply(200, packageArchive()));
    QStringList args = installArgs(target());
    args.removeAll(QStringLiteral("--json"));
    const CliRun r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString out = QString::fromUtf8(r.out);
    EXPECT_TRUE(out.contains(QStringLiteral("?[31mRed?"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("installing into ") + target()));
    EXPECT_TRUE(out.contains(QStringLiteral("installed 1, unchanged 0: version 14,20 in ") +
                             target() + u'\n'))
        << out.toStdString();
    EXPECT_TRUE(out.endsWith(QStringLiteral("outcome: installed\n"))) << out.toStdString();
    for (const QChar c : out) {
        EXPECT_TRUE(c == u'\n' || c.unicode() >= 0x20) << int(c.unicode());
    }
}

TEST_F(CommandLine, FailuresHaveTheirOwnExitCodes) {
    writeSettings();
    // 3: nothing on the server.
    const CliRun missing = run(installArgs(target()));
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.outcome().value("exit").toInt(), 3);
    EXPECT_TRUE(missing.outcome().value("reason").toString().contains(QStringLiteral("HTTP 404")))
        << missing.out.toStdString();
    EXPECT_FALSE(missing.outcome().value("changed").toBool());

    servePackage();
    // 4: a publisher key, and a package that carries no signature.
    writeSettings({}, "publickey=AvP9MddvPxSVWOvscLoap6Zf9CttwnNI34aPjeKirC0=\r\n");
    const CliRun refused = run(installArgs(target()));
    EXPECT_EQ(refused.exitCode, 4) << refused.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target() + "/brodelik.exe"));
    writeSettings();

    // 5: a target that is a file, or is not there; nothing is fetched or written.
    writeBytes(root.path() + "/file", "x");
    const qsizetype requestsBefore = server.requests().size();
    for (const QString& bad : {root.path() + "/file", root.path() + "/gone"}) {
        const CliRun r = run(installArgs(target(), {QStringLiteral("--target"), bad}));
        EXPECT_EQ(r.exitCode, 5) << bad.toStdString();
        EXPECT_TRUE(r.err.startsWith("selvanix: the target ")) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1);
    }
    EXPECT_EQ(server.requests().size(), requestsBefore);
    EXPECT_TRUE(filesBelow(target()).isEmpty());
    // 5 too: a search of the real drives that finds the program nowhere.
    const QByteArray unique = "nowhere-" + QByteArray::number(::getpid()) + ".exe";
    server.route(
        "/brodelik.ini",
        httpReply(
            200,
            QByteArray(descriptor(true)).replace("hledany=brodelik.exe", "hledany=" + unique)));
    const CliRun nowhere = run({"install", "--product", "brodelik", "--search", "--json"});
    EXPECT_EQ(nowhere.exitCode, 5) << nowhere.out.toStdString();
    EXPECT_EQ(nowhere.outcome().value("outcome").toString(), QStringLiteral("no target"));
    servePackage();

    // 6: the target's settings file cannot be written (a folder stands at its name).
    QDir().mkpath(target() + "/upgrade.kac");
    const CliRun failed = run(installArgs(target()));
    EXPECT_EQ(failed.exitCode, 6) << failed.out.toStdString();
    EXPECT_FALSE(failed.event("target-failed").isEmpty());
    QDir(target() + "/upgrade.kac").removeRecursively();

    // 6 and 7: an entry that cannot be written, answered with abort and with ignore.
    QDir().mkpath(target() + "/brodelik.chm");
    const CliRun aborted = run(installArgs(target()));
    EXPECT_EQ(aborted.exitCode, 6) << aborted.out.toStdString();
    EXPECT_EQ(aborted.event("entry-failed").value("answer").toString(), QStringLiteral("abort"));
    const CliRun ignored = run(installArgs(target(), {"--on-failure", "ignore"}));
    EXPECT_EQ(ignored.exitCode, 7) << ignored.out.toStdString();
    EXPECT_EQ(ignored.event("entry-failed").value("answer").toString(), QStringLiteral("ignore"));
    EXPECT_TRUE(ignored.outcome().value("changed").toBool());
    // A target that missed an entry is never recorded as holding the whole package.
    EXPECT_TRUE(readBytes(target() + "/.selvanix/manifest").contains("\nsha256 \n"));
    EXPECT_EQ(run(installArgs(target(), {"--on-failure", "ignore"})).exitCode, 7);
}

// Targets, folders and entries read as Linux paths everywhere a script or a person meets them:
// no backslash and no separator at the end, in JSON, in lines and in the log.
TEST_F(CommandLine, PathsReadAsLinuxPaths) {
    writeSettings();
    servePackage();
    const QString second = root.path() + QStringLiteral("/second");
    QDir().mkpath(second);
    QDir().mkpath(second + QStringLiteral("/data/brodelik.sql"));
    const QStringList args = {"install",  "--product",   "brodelik",     "--target", target(),
                              "--target", second + u'/', "--on-failure", "ignore"};
    const CliRun r = run(args + QStringList{"--json"});
    ASSERT_EQ(r.exitCode, 7) << r.out.toStdString();
    QStringList paths;
    for (const QJsonObject& e : r.events()) {
        for (const char* key : {"target", "folder", "entry", "path"}) {
            if (e.contains(QLatin1String(key))) {
                paths << e.value(QLatin1String(key)).toString();
            }
        }
        for (const QJsonValue& t : e.value("targets").toArray()) {
            paths << t.toString();
        }
    }
    EXPECT_TRUE(paths.contains(second)) << paths.join(u' ').toStdString();
    EXPECT_TRUE(paths.contains(QStringLiteral("data/brodelik.sql")));
    for (const QString& path : paths) {
        EXPECT_FALSE(path.contains(u'\\')) << path.toStdString();
        EXPECT_FALSE(path.size() > 1 && path.endsWith(u'/')) << path.toStdString();
    }
    const CliRun lines = run(args);
    EXPECT_FALSE(lines.out.contains('\\')) << lines.out.toStdString();
    EXPECT_TRUE(lines.out.contains("entry data/brodelik.sql:")) << lines.out.toStdString();
    const QByteArray log = readBytes(logPath());
    EXPECT_TRUE(log.contains("entry data/brodelik.sql:")) << log.toStdString();
    EXPECT_FALSE(log.contains("data\\brodelik.sql"));
}

TEST_F(CommandLine, BadInputIsOneLineOnStandardErrorAndWritesNothing) {
    writeSettings();
    servePackage();
    writeBytes(root.path() + "/secret", "pw\n");
    ::chmod(QFile::encodeName(root.path() + "/secret").constData(), 0);
    const std::vector<std::pair<QStringList, QByteArray>> cases = {
        {{"install", "--bogus"}, "unknown option --bogus"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {installArgs(target(), {"--product", "nonesuch"}), "no product nonesuch"},
        {installArgs(target(), {"--on-failure", "retry"}), "--on-failure takes"},
        {{"install", "--target"}, "needs a value"},
        {installArgs(target(), {"--search"}), "exclude each other"},
        {installArgs(target(), {"--password-file", root.path() + "/none"}),
         "cannot read the password file"},
        {{"list", "--source", target()}, "unknown option --source"},
        {{"check", "--target", target()}, "unknown option --target"},
        // The window's own arguments are checked before any display is looked for.
        {{"--product", "nonesuch"}, "no product nonesuch"},
        {{"--product", "brodelik", "--product", "tulvek"}, "once each"},
        {{"--target", "", "--product", "brodelik"}, "--target needs a folder"},
        {{"--target", target(), "--verbose"}, "not --verbose"},
    };
    for (const auto& [args, message] : cases) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("selvanix: ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        // With --json anywhere, standard output carries the outcome and nothing else.
        if (args.contains("--json")) {
            ASSERT_EQ(r.out.count('\n'), 1) << r.out.toStdString();
            EXPECT_EQ(r.outcome().value("outcome").toString(), QStringLiteral("usage error"));
            EXPECT_EQ(r.outcome().value("exit").toInt(), 2);
            EXPECT_TRUE(r.outcome().value("reason").toString().contains(QLatin1String(message)));
        } else {
            EXPECT_TRUE(r.out.isEmpty());
        }
    }
    QStringList eleven{"install"};
    for (int i = 0; i < 11; ++i) {
        eleven << "--target" << target();
    }
    EXPECT_EQ(run(eleven).exitCode, 2);
    // Odd bytes in the settings beside the program: refused, not read as defaults.
    writeBytes(host() + "/upgrade.kac", QByteArray("[DEFINICE]\r\nprogram=1\0\x01\x02", 24));
    const CliRun odd = run(installArgs(target()));
    EXPECT_EQ(odd.exitCode, 2);
    EXPECT_TRUE(odd.err.contains("control byte")) << odd.err.toStdString();
    EXPECT_TRUE(filesBelow(target()).isEmpty());
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(CommandLine, HelpListsTheExitCodesAndVersionIsTheBuildsOwn) {
    const CliRun help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* line :
         {"  0  installed", "  2  usage error", "  3  package not found", "  4  package refused",
          "  5  no target", "  6  a target failed", "  7  installed, but entries were skipped",
          "  9  interrupted", "  10 a target, or the product's downloads, held",
          "  11 a newer release waits"}) {
        EXPECT_TRUE(help.out.contains(line)) << line;
    }
    const CliRun version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("selvanix " SELVANIX_VERSION "\n"));
}

TEST_F(CommandLine, APasswordFileAnswersEncryptedEntriesAndWithoutOneTheyAreSkipped) {
    writeSettings();
    ZipEntry secret;
    secret.name = "secret.dll";
    secret.data = "locked library";
    secret.password = "opensesame";
    servePackage(packageArchive({secret}));
    const CliRun skipped = run(installArgs(target()));
    EXPECT_EQ(skipped.exitCode, 7) << skipped.out.toStdString();
    EXPECT_EQ(skipped.event("entry-skipped").value("entry").toString(),
              QStringLiteral("secret.dll"));
    EXPECT_FALSE(QFileInfo::exists(target() + "/secret.dll"));

    writeBytes(root.path() + "/wrong", "not it\n");
    const CliRun wrong = run(installArgs(target(), {"--password-file", root.path() + "/wrong"}));
    EXPECT_EQ(wrong.exitCode, 7) << "a wrong password is tried once, then the entry skipped";

    writeBytes(root.path() + "/right", "opensesame\r\nsecond line\n");
    const CliRun right = run(installArgs(target(), {"--password-file", root.path() + "/right"}));
    EXPECT_EQ(right.exitCode, 0) << right.out.toStdString();
    EXPECT_EQ(readBytes(target() + "/secret.dll"), QByteArray("locked library"));
    // The password is nowhere in what the run wrote down.
    EXPECT_FALSE(readBytes(logPath()).contains("opensesame"));
    EXPECT_FALSE(right.out.contains("opensesame"));
}

TEST_F(CommandLine, EachRunIsLoggedAndTheLogRotates) {
    writeSettings();
    servePackage();
    ASSERT_EQ(run(installArgs(target())).exitCode, 0);
    const QByteArray log = readBytes(logPath());
    for (const char* part : {"Selvanix " SELVANIX_VERSION ": install brodelik from http://",
                             "package Brodělík, version 14,20, date 12.5.2023", "installed",
                             "outcome: installed, installed 1"}) {
        EXPECT_TRUE(log.contains(part)) << part << "\n" << log.toStdString();
    }
    // Past the limit the log moves aside and a new one starts.
    writeBytes(logPath(), QByteArray(1 << 20, 'x') + '\n');
    ASSERT_EQ(run(installArgs(target())).exitCode, 0);
    EXPECT_EQ(QFileInfo(logPath() + ".1").size(), (1 << 20) + 1);
    EXPECT_LT(QFileInfo(logPath()).size(), 4096);
    EXPECT_TRUE(readBytes(logPath()).contains("already holds this package"));
    // --log writes there instead.
    const QString own = root.path() + "/own.log";
    ASSERT_EQ(run(installArgs(target(), {"--log", own})).exitCode, 0);
    EXPECT_TRUE(readBytes(own).contains("outcome: installed"));
    // A log that cannot be written does not stop the run.
    const CliRun unloggable = run(installArgs(target(), {"--log", "/proc/nowhere/x.log"}));
    EXPECT_EQ(unloggable.exitCode, 0) << unloggable.err.toStdString();
}

TEST_F(CommandLine, ParallelRunsKeepEveryLogLineWhole) {
    const QString own = root.path() + "/shared.log";
    writeBytes(own, QByteArray((1 << 20) - 200, 'x') + '\n');
    std::vector<QProcess*> runs;
    for (int i = 0; i < 6; ++i) {
        runs.push_back(start({"install", "--product", "quobr", "--source", root.path() + "/none",
                              "--target", target(), "--log", own}));
    }
    for (QProcess* p : runs) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 3);
    }
    QByteArray all = readBytes(own + ".1") + readBytes(own);
    int outcomes = 0;
    for (const QByteArray& line : all.split('\n')) {
        if (line.isEmpty() || line.startsWith("xxxx")) {
            continue;
        }
        EXPECT_TRUE(line.startsWith("20")) << line.toStdString();
        outcomes += line.contains("] outcome: no package") ? 1 : 0;
    }
    EXPECT_EQ(outcomes, 6);
    EXPECT_TRUE(QFileInfo::exists(own + ".1")) << "the runs rotated the log between them";
}

TEST_F(CommandLine, SigtermInALargeExtractionStopsAtTheEntryAndLeavesNoCutFile) {
    writeSettings();
    ZipEntry big;
    big.name = "big.dll";
    big.data = QByteArray(400 << 20, '\0');
    big.data[12345] = 'x';
    const QString pkg = root.path() + "/pkg";
    writeBytes(pkg + "/brodelik.ini", descriptor(true));
    writeBytes(pkg + "/upgrade-brodelik.zip", packageArchive({big, big, big}));
    big.data.clear();
    QProcess* p = start(
        {"install", "--product", "brodelik", "--source", pkg, "--target", target(), "--json"});
    ASSERT_TRUE(p->waitForStarted());
    const QByteArray out = outputUntil(*p, "target-started");
    ASSERT_TRUE(out.contains("target-started")) << out.toStdString();
    // Into the first large entry, staged under a temporary name.
    const auto stagingBig = [&] {
        return !QDir(target()).entryList({".big.dll.*.tmp"}, QDir::Files | QDir::Hidden).isEmpty();
    };
    for (int i = 0; i < 1000 && !stagingBig(); ++i) {
        QThread::msleep(5);
    }
    ASSERT_TRUE(stagingBig());
    const CliRun r = stop(*p, SIGTERM, out);
    EXPECT_EQ(r.exitCode, 9) << r.out.toStdString();
    EXPECT_EQ(r.outcome().value("outcome").toString(), QStringLiteral("interrupted"));
    EXPECT_EQ(r.outcome().value("exit").toInt(), 9);
    EXPECT_FALSE(r.outcome().value("reason").toString().isEmpty());
    // Nothing was replaced: the folders the staging made are all that is left, empty.
    for (const QString& name : filesBelow(target())) {
        EXPECT_TRUE(QFileInfo(target() + "/" + name).isDir())
            << name.toStdString() << ": a staged or installed file stayed";
    }
    EXPECT_FALSE(QFileInfo::exists(target() + "/.selvanix"));
}

// SIGINT in a download acts as Cancel does: the run ends interrupted, and no cut archive
// stands beside the program under its name.
TEST_F(CommandLine, SigintInADownloadCancelsItAndKeepsNoCutArchive) {
    writeSettings();
    server.route("/brodelik.ini", httpReply(200, descriptor(true)));
    TestReply slow = httpReply(200, packageArchive() + QByteArray(4 << 20, 'z'));
    slow.pieceSize = 4096;
    slow.pieceDelayMs = 20;
    server.route("/upgrade-brodelik.zip", slow);
    QProcess* p = start(installArgs(target()));
    const QByteArray out = outputUntil(*p, "upgrade-brodelik.zip");
    ASSERT_TRUE(out.contains("upgrade-brodelik.zip")) << out.toStdString();
    QThread::msleep(300);  // well into the body
    const CliRun r = stop(*p, SIGINT, out);
    EXPECT_EQ(r.exitCode, 9) << r.out.toStdString();
    EXPECT_EQ(r.outcome().value("outcome").toString(), QStringLiteral("interrupted"));
    EXPECT_EQ(r.outcome().value("exit").toInt(), 9);
    EXPECT_FALSE(QFileInfo::exists(host() + "/upgrade-brodelik.zip"));
    EXPECT_EQ(QDir(host()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"brodelik.ini", "selvanix", "upgrade.kac"}));
    EXPECT_TRUE(filesBelow(target()).isEmpty());
}

// Plain text between entries, after a stored or deflated entry first or in the middle, or
// counted in a stored entry's declared size: every entry installs, from a folder and from the
// server.
TEST_F(CommandLine, APackageWithPlainTextBetweenEntriesInstalls) {
    writeSettings();
    const QByteArray text = "unused plain text";
    for (const std::uint16_t method : {std::uint16_t(0), std::uint16_t(8)}) {
        ZipWriter w;
        const auto entry = [&](const QByteArray& name, const QByteArray& data,
                               const QByteArray& gap = {}) {
            ZipEntry e;
            e.name = name;
            e.data = data;
            e.method = method;
            e.gapBefore = gap;
            return e;
        };
        w.entries = {
            entry("data/brodelik.sql", "seventeen bytes!!"), entry("brodelik.chm", "help", text),
            entry("lib/engine.dll", "seventeen bytes!!"), entry("brodelik.exe", kProgram, text)};
        // A stored entry whose declared size counts the text after its data, in the middle.
        ZipEntry padded = entry("reports/list.fr3", "<report/>");
        padded.method = 0;
        padded.compressed = padded.data + text;
        w.entries.insert(w.entries.begin() + 2, padded);
        const QString pkg = root.path() + "/pkg" + QString::number(method);
        QDir().mkpath(pkg);
        writeBytes(pkg + "/brodelik.ini", descriptor(false));
        writeBytes(pkg + "/upgrade-brodelik.zip", w.build());
        servePackage(w.build());
        for (const QString& source : {pkg, QStringLiteral("internet")}) {
            const QString into = target() + QString::number(method) + u'-' + source.back();
            QDir().mkpath(into);
            const CliRun done =
                run({"install", "--product", "brodelik", "--source", source, "--target", into});
            EXPECT_EQ(done.exitCode, 0) << source.toStdString() << done.out.toStdString();
            EXPECT_EQ(readBytes(into + "/data/brodelik.sql"), QByteArray("seventeen bytes!!"));
            EXPECT_EQ(readBytes(into + "/brodelik.chm"), QByteArray("help"));
            EXPECT_EQ(readBytes(into + "/lib/engine.dll"), QByteArray("seventeen bytes!!"));
            EXPECT_EQ(readBytes(into + "/brodelik.exe"), kProgram);
            EXPECT_EQ(readBytes(into + "/pts/reports/list.fr3"), QByteArray("<report/>"));
        }
    }
}

}  // namespace
}  // namespace selvanix::test
