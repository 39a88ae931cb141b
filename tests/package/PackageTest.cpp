// The Debian package and the portable archive, as a user gets them: their files, their
// validators, and the unpacked program installing from a server on loopback as root and as
// another user, with its settings and downloads where they belong and nothing written below
// the unpacked prefix. The packages come from the demo's server, signed by the packaged
// publisher's tool.
#include "support/OtherUser.h"
#include "support/SamplePackage.h"
#include "support/TestDrives.h"
#include "support/TestNginx.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <map>

namespace selvanix::test {
namespace {

const QString kPackages = QStringLiteral(SELVANIX_PACKAGE_DIR);
const QString kDeb = kPackages + QStringLiteral("/selvanix_" SELVANIX_VERSION_TEXT "_amd64.deb");
const QString kTarball =
    kPackages + QStringLiteral("/selvanix-" SELVANIX_VERSION_TEXT "-linux-x86_64.tar.gz");

struct Ran {
    int code = -1;
    QByteArray output;  // standard output and error
};

// Runs a program with exactly the environment given, and waits for it.
Ran run(const QStringList& command, const QStringList& environment = {}) {
    int channel[2];
    if (::pipe(channel) != 0) {
        return {};
    }
    std::vector<QByteArray> args;
    std::vector<QByteArray> env;
    for (const QString& a : command) {
        args.push_back(QFile::encodeName(a));
    }
    for (const QString& e : environment) {
        env.push_back(e.toUtf8());
    }
    env.push_back("PATH=/usr/bin:/bin:/usr/sbin:/sbin");
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (QByteArray& a : args) {
        argv.push_back(a.data());
    }
    for (QByteArray& e : env) {
        envp.push_back(e.data());
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(channel[1], 1);
        ::dup2(channel[1], 2);
        ::close(channel[0]);
        ::close(channel[1]);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(channel[1]);
    Ran ran;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
        ran.output.append(buffer, n);
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ran.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

// Every file and folder below root with its size, mode and modification time.
std::map<QString, QString> snapshot(const QString& root) {
    std::map<QString, QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries[info.filePath()] =
            QStringLiteral("%1 %2 %3")
                .arg(QString::number(info.size()), QString::number(info.permissions()),
                     QString::number(info.lastModified().toMSecsSinceEpoch()));
    }
    return entries;
}

// A folder the other user owns, or this one's when the tests do not run as root.
QString folderFor(const QString& path, bool other) {
    EXPECT_TRUE(QDir().mkpath(path));
    if (other && ::getuid() == 0) {
        EXPECT_EQ(::chown(QFile::encodeName(path).constData(), kNobody, kNobody), 0);
    }
    return path;
}

// The demo's download server on loopback, serving the demo packages signed by the packaged
// selvanix-publish with a key of its own.
class DemoServer {
public:
    DemoServer() {
        const QString source = QStringLiteral(SELVANIX_SOURCE_DIR);
        const QString unpacked = folder.path() + QStringLiteral("/publisher");
        EXPECT_EQ(run({QStringLiteral("dpkg-deb"), QStringLiteral("-x"), kDeb, unpacked}).code, 0);
        const QString tool = unpacked + QStringLiteral("/usr/bin/selvanix-publish");
        const QString key = folder.path() + QStringLiteral("/publisher.pem");
        const Ran keygen = run({tool, QStringLiteral("keygen"), key});
        EXPECT_EQ(keygen.code, 0) << keygen.output.toStdString();
        publicKey = keygen.output.trimmed();
        const QString served = folder.path() + QStringLiteral("/server");
        const Ran packages =
            run({QStringLiteral("python3"), source + QStringLiteral("/scripts/demo_packages.py"),
                 QStringLiteral("packages"), tool, key, served});
        EXPECT_EQ(packages.code, 0) << packages.output.toStdString();
        port = freeLoopbackPort();
        server = ::fork();
        if (server == 0) {
            const QByteArray script = QFile::encodeName(source + "/scripts/demo_server.py");
            const QByteArray dir = QFile::encodeName(served);
            const QByteArray portText = QByteArray::number(port);
            ::execlp("python3", "python3", script.constData(), dir.constData(),
                     portText.constData(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200 && !answers(); ++i) {
            ::usleep(25000);
        }
        EXPECT_TRUE(answers()) << "the demo server did not start";
    }
    ~DemoServer() {
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
    }
    // Section SERVER pointing at this server and its key.
    QByteArray settings() const {
        return "[SERVER]\r\nbaseurl=http://127.0.0.1:" + QByteArray::number(port) +
               "/\r\npublickey=" + publicKey + "\r\n";
    }

private:
    bool answers() const {
        return run({QStringLiteral("python3"), QStringLiteral("-c"),
                    QStringLiteral("import socket; socket.create_connection(('127.0.0.1', %1), 1)")
                        .arg(port)})
                   .code == 0;
    }
    QTemporaryDir folder;
    QByteArray publicKey;
    int port = 0;
    pid_t server = -1;
};

class Packaged : public ::testing::Test {
protected:
    Packaged() {
        ::chmod(QFile::encodeName(work.path()).constData(), 0755);  // the other user enters
    }
    // Made by the first test that needs it, so that its failures fail that test.
    static DemoServer& demo() {
        static DemoServer server;
        return server;
    }
    // Installs Brodělík with the program at exe as root or as the other user; dataHome is the
    // user's data folder. Returns "exit code|installed|started|output" when all went well.
    QByteArray installWith(const QString& exe, const QString& dataHome, const QString& target,
                           bool other) {
        const QStringList environment{QStringLiteral("HOME=") + work.path() + "/home",
                                      QStringLiteral("XDG_DATA_HOME=") + dataHome,
                                      QStringLiteral("XDG_STATE_HOME=") + dataHome + "/state",
                                      QStringLiteral("LANG=C.UTF-8")};
        const QStringList command{
            exe,        QStringLiteral("install"),  "--product", QStringLiteral("brodelik"),
            "--source", QStringLiteral("internet"), "--target",  target,
            "--json"};
        const auto body = [&] {
            const Ran ran = run(command, environment);
            // The demo program marks its start in its target, a moment after the run.
            bool started = false;
            for (int i = 0; i < 250 && !started; ++i) {
                started = QFileInfo(target + "/started.txt").isFile();
                ::usleep(started ? 0 : 20000);
            }
            return QByteArray::number(ran.code) + '|' +
                   (QFileInfo(target + "/brodelik.exe").isFile() ? "installed" : "missing") +
                   (started ? "|started|" : "|not started|") + ran.output;
        };
        return other ? runAsOtherUser(body) : body();
    }
    QTemporaryDir work;
};

TEST_F(Packaged, TheDebianPackageHoldsItsFilesAndPassesItsValidators) {
    const Ran listing = run({QStringLiteral("dpkg-deb"), QStringLiteral("-c"), kDeb});
    ASSERT_EQ(listing.code, 0) << listing.output.toStdString();
    QStringList files;
    for (QByteArray line : listing.output.split('\n')) {
        if (const qsizetype arrow = line.indexOf(" -> "); arrow >= 0) {
            line.truncate(arrow);
        }
        const QByteArray path = line.mid(line.lastIndexOf(' ') + 1);
        if (!path.isEmpty() && !path.endsWith('/')) {
            files << QString::fromUtf8(path);
        }
    }
    files.sort();
    QStringList expected{"./etc/selvanix/upgrade.kac",
                         "./usr/bin/selvanix",
                         "./usr/bin/selvanix-publish",
                         "./usr/lib/systemd/user/selvanix-check.service",
                         "./usr/lib/systemd/user/selvanix-check.timer",
                         "./usr/lib/systemd/user/timers.target.wants/selvanix-check.timer",
                         "./usr/share/applications/org.selvanix.Selvanix.desktop",
                         "./usr/share/doc/selvanix/changelog.gz",
                         "./usr/share/doc/selvanix/copyright",
                         "./usr/share/icons/hicolor/scalable/apps/selvanix.svg",
                         "./usr/share/man/man1/selvanix-publish.1.gz",
                         "./usr/share/man/man1/selvanix.1.gz",
                         "./usr/share/metainfo/org.selvanix.Selvanix.metainfo.xml"};
    for (const char* size : {"128", "16", "24", "256", "32", "48", "64"}) {
        expected << QStringLiteral("./usr/share/icons/hicolor/%1x%1/apps/selvanix.png").arg(size);
    }
    expected.sort();
    EXPECT_EQ(files, expected);

    const Ran control = run({QStringLiteral("dpkg-deb"), QStringLiteral("-f"), kDeb,
                             QStringLiteral("Package"), QStringLiteral("Depends")});
    EXPECT_TRUE(control.output.startsWith("Package: selvanix\n")) << control.output.toStdString();
    // Computed from the programs' libraries, not listed by hand.
    for (const char* library : {"libqt6widgets6", "libqt6dbus6", "libcurl4", "libisal2", "libssl3",
                                "libc6", "libzstd1", "libdivsufsort3", "libdeflate0"}) {
        EXPECT_TRUE(control.output.contains(QByteArray(library) + " (>= "))
            << library << control.output.toStdString();
    }
    const Ran conffiles =
        run({QStringLiteral("dpkg-deb"), QStringLiteral("-I"), kDeb, QStringLiteral("conffiles")});
    EXPECT_EQ(conffiles.output.trimmed(), QByteArray("/etc/selvanix/upgrade.kac"));

    const QString root = work.path() + QStringLiteral("/unpacked");
    ASSERT_EQ(run({QStringLiteral("dpkg-deb"), QStringLiteral("-x"), kDeb, root}).code, 0);
    const Ran desktop =
        run({QStringLiteral("desktop-file-validate"),
             root + QStringLiteral("/usr/share/applications/org.selvanix.Selvanix.desktop")});
    EXPECT_EQ(desktop.code, 0) << desktop.output.toStdString();
    EXPECT_TRUE(desktop.output.isEmpty()) << desktop.output.toStdString();
    const Ran metainfo =
        run({QStringLiteral("appstreamcli"), QStringLiteral("validate"), QStringLiteral("--no-net"),
             root + QStringLiteral("/usr/share/metainfo/org.selvanix.Selvanix.metainfo.xml")});
    EXPECT_EQ(metainfo.code, 0) << metainfo.output.toStdString();
    // Its caches go into the test's folder, not the machine's.
    const Ran lintian =
        run({QStringLiteral("lintian"), kDeb},
            {QStringLiteral("HOME=") + work.path(), QStringLiteral("TMPDIR=") + work.path()});
    EXPECT_EQ(lintian.code, 0) << lintian.output.toStdString();
    for (const QByteArray& line : lintian.output.split('\n')) {
        EXPECT_FALSE(line.startsWith("E:") || line.startsWith("W:")) << line.toStdString();
    }
}

// The daily check is enabled for every user by the link the package holds, and systemd reads
// both units as they are written.
TEST_F(Packaged, TheDailyCheckIsAValidUserTimerEnabledByItsLink) {
    const QString root = work.path() + QStringLiteral("/unpacked");
    ASSERT_EQ(run({QStringLiteral("dpkg-deb"), QStringLiteral("-x"), kDeb, root}).code, 0);
    const QString units = root + QStringLiteral("/usr/lib/systemd/user/");
    const QFileInfo link(units + QStringLiteral("timers.target.wants/selvanix-check.timer"));
    EXPECT_TRUE(link.isSymLink());
    EXPECT_EQ(QFile::symLinkTarget(link.filePath()),
              QFileInfo(units + QStringLiteral("selvanix-check.timer")).absoluteFilePath());
    const QByteArray timer = readBytes(units + QStringLiteral("selvanix-check.timer"));
    for (const char* line : {"OnCalendar=daily\n", "Persistent=true\n",
                             "RandomizedDelaySec=", "WantedBy=timers.target\n"}) {
        EXPECT_TRUE(timer.contains(line)) << line;
    }
    QByteArray service = readBytes(units + QStringLiteral("selvanix-check.service"));
    EXPECT_TRUE(service.contains("ExecStart=/usr/bin/selvanix notify\n")) << service.toStdString();

    // Verified where the service's program exists: the unpacked one stands in for /usr/bin.
    const QString checked = work.path() + QStringLiteral("/units");
    QDir().mkpath(checked);
    QDir().mkpath(work.path() + QStringLiteral("/runtime"));
    service.replace("ExecStart=/usr/bin/selvanix",
                    "ExecStart=" + root.toUtf8() + "/usr/bin/selvanix");
    writeBytes(checked + QStringLiteral("/selvanix-check.service"), service);
    writeBytes(checked + QStringLiteral("/selvanix-check.timer"), timer);
    const Ran verify =
        run({QStringLiteral("systemd-analyze"), QStringLiteral("--user"), QStringLiteral("verify"),
             QStringLiteral("--man=no"), checked + QStringLiteral("/selvanix-check.timer"),
             checked + QStringLiteral("/selvanix-check.service")},
            {QStringLiteral("XDG_RUNTIME_DIR=") + work.path() + QStringLiteral("/runtime")});
    EXPECT_EQ(verify.code, 0) << verify.output.toStdString();
    EXPECT_TRUE(verify.output.isEmpty()) << verify.output.toStdString();
}

// Installed below another root, the program takes its server from that root's etc, keeps
// the user's settings and downloads in the user's data folder and writes nothing below
// the prefix, for root and for another user alike.
TEST_F(Packaged, TheUnpackedProgramInstallsAsRootAndAsAnotherUser) {
    const QString root = work.path() + QStringLiteral("/unpacked");
    ASSERT_EQ(run({QStringLiteral("dpkg-deb"), QStringLiteral("-x"), kDeb, root}).code, 0);
    writeBytes(root + QStringLiteral("/etc/selvanix/upgrade.kac"), demo().settings());
    const std::map<QString, QString> before = snapshot(root);
    for (const bool other : {false, true}) {
        const QString who =
            work.path() + (other ? QStringLiteral("/other") : QStringLiteral("/root"));
        folderFor(who, other);
        const QString data = folderFor(who + QStringLiteral("/data"), other);
        const QString target = folderFor(who + QStringLiteral("/target"), other);
        const QByteArray report =
            installWith(root + QStringLiteral("/usr/bin/selvanix"), data, target, other);
        EXPECT_TRUE(report.startsWith("0|installed|started|")) << other << report.toStdString();
        const QString own = data + QStringLiteral("/selvanix");
        EXPECT_TRUE(QFileInfo(own + QStringLiteral("/brodelik.ini")).isFile()) << other;
        // Each user's own list of installations, naming that user's target.
        EXPECT_TRUE(readBytes(own + QStringLiteral("/targets.list")).contains(target.toUtf8()))
            << other;
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(own).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << "the user's own folder is private";
        if (other && ::getuid() == 0) {
            EXPECT_EQ(st.st_uid, kNobody);
        }
    }
    EXPECT_EQ(snapshot(root), before) << "something was written below the unpacked prefix";
}

// The installed copy's data folder holds the user's settings and downloads: no run installs
// there or below it, by any path, and a run without targets installs nowhere.
TEST_F(Packaged, TheInstalledCopyNeverInstallsIntoItsOwnDataFolder) {
    const QString root = work.path() + QStringLiteral("/unpacked");
    ASSERT_EQ(run({QStringLiteral("dpkg-deb"), QStringLiteral("-x"), kDeb, root}).code, 0);
    writeBytes(root + QStringLiteral("/etc/selvanix/upgrade.kac"), demo().settings());
    const QString exe = root + QStringLiteral("/usr/bin/selvanix");
    const QString data = work.path() + QStringLiteral("/data");
    const QString own = data + QStringLiteral("/selvanix");
    QDir().mkpath(own + QStringLiteral("/below"));
    ::chmod(QFile::encodeName(own).constData(), 0700);
    writeBytes(own + QStringLiteral("/upgrade.kac"), "[DEFINICE]\r\nprogram=1\r\n");
    const QString link = work.path() + QStringLiteral("/link");
    ASSERT_EQ(::symlink(QFile::encodeName(own).constData(), QFile::encodeName(link).constData()),
              0);
    const QStringList environment{
        QStringLiteral("HOME=") + work.path(), QStringLiteral("XDG_DATA_HOME=") + data,
        QStringLiteral("XDG_STATE_HOME=") + data + QStringLiteral("/state")};
    for (const QString& target : {own, own + QStringLiteral("/below"), link}) {
        const Ran refused = run(
            {exe, QStringLiteral("install"), QStringLiteral("--source"), QStringLiteral("internet"),
             QStringLiteral("--target"), target, QStringLiteral("--json")},
            environment);
        EXPECT_EQ(refused.code, 6) << refused.output.toStdString();
        EXPECT_TRUE(refused.output.contains("patří programu Selvanix"))
            << refused.output.toStdString();
    }
    EXPECT_EQ(readBytes(own + QStringLiteral("/upgrade.kac")),
              QByteArray("[DEFINICE]\r\nprogram=1\r\n"));
    const Ran none = run({exe, QStringLiteral("install"), QStringLiteral("--json")}, environment);
    EXPECT_EQ(none.code, 5) << none.output.toStdString();
    EXPECT_TRUE(none.output.contains("\"outcome\":\"no target\"")) << none.output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(own + QStringLiteral("/brodelik.exe")));
}

// A user whose every data folder another user could change, and whose home does not exist,
// gets one line and exit 2, and nothing is read from anywhere.
TEST_F(Packaged, WithoutADataFolderOfItsOwnTheInstalledCopyStops) {
    const QString root = work.path() + QStringLiteral("/unpacked");
    ASSERT_EQ(run({QStringLiteral("dpkg-deb"), QStringLiteral("-x"), kDeb, root}).code, 0);
    const QString open = work.path() + QStringLiteral("/open");
    QDir().mkpath(open);
    ::chmod(QFile::encodeName(open).constData(), 01777);  // the test's own
    const QString exe = root + QStringLiteral("/usr/bin/selvanix");
    const QByteArray report = runAsOtherUser([&] {
        const Ran ran =
            run({exe, QStringLiteral("install"), QStringLiteral("--json")},
                {QStringLiteral("HOME=/nonexistent"), QStringLiteral("XDG_DATA_HOME=") + open,
                 QStringLiteral("XDG_STATE_HOME=/nonexistent/state")});
        return QByteArray::number(ran.code) + '|' + ran.output;
    });
    EXPECT_TRUE(report.startsWith("2|")) << report.toStdString();
    EXPECT_TRUE(report.contains("no data folder")) << report.toStdString();
    EXPECT_EQ(report.count("selvanix: "), 1) << report.toStdString();
    EXPECT_FALSE(QFileInfo::exists(open + QStringLiteral("/selvanix")));
}

// Unpacked anywhere writable, the portable copy keeps everything beside itself.
TEST_F(Packaged, ThePortableArchiveRunsFromTheFolderItIsUnpackedIn) {
    for (const bool other : {false, true}) {
        const QString where = folderFor(
            work.path() + (other ? QStringLiteral("/p-other") : QStringLiteral("/p-root")), other);
        ASSERT_EQ(run({QStringLiteral("tar"), QStringLiteral("-xzf"), kTarball,
                       QStringLiteral("-C"), where})
                      .code,
                  0);
        const QString folder =
            where + QStringLiteral("/selvanix-" SELVANIX_VERSION_TEXT "-linux-x86_64");
        for (const char* name : {"selvanix", "selvanix-publish", "README", "COPYRIGHT"}) {
            EXPECT_TRUE(QFileInfo(folder + u'/' + QLatin1String(name)).isFile()) << name;
        }
        writeBytes(folder + QStringLiteral("/upgrade.kac"), demo().settings());
        if (other && ::getuid() == 0) {
            ASSERT_EQ(run({QStringLiteral("chown"), QStringLiteral("-R"),
                           QStringLiteral("65534:65534"), where})
                          .code,
                      0);
        }
        const QString data = folderFor(where + QStringLiteral("/data"), other);
        const QString target = folderFor(where + QStringLiteral("/target"), other);
        const QByteArray report =
            installWith(folder + QStringLiteral("/selvanix"), data, target, other);
        EXPECT_TRUE(report.startsWith("0|installed|started|")) << other << report.toStdString();
        EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/brodelik.ini")).isFile()) << other;
        EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral("/selvanix"))) << other;
    }
    // The archive's README names every package the Debian package depends on.
    const QByteArray readme =
        readBytes(work.path() +
                  QStringLiteral("/p-root/selvanix-" SELVANIX_VERSION_TEXT "-linux-x86_64/README"));
    const Ran control =
        run({QStringLiteral("dpkg-deb"), QStringLiteral("-f"), kDeb, QStringLiteral("Depends")});
    for (QByteArray dependency : control.output.trimmed().split(',')) {
        dependency = dependency.trimmed();
        dependency = dependency.left(dependency.indexOf(' ') < 0 ? dependency.size()
                                                                 : dependency.indexOf(' '));
        EXPECT_TRUE(readme.contains(dependency)) << dependency.toStdString();
    }
}

}  // namespace
}  // namespace selvanix::test
