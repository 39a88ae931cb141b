// Installations take none of the user's files and say what they did: no target means none,
// another product's folder asks first, a release's dropped files go with the old version,
// a rollback keeps the user's edits, an undone run leaves no folders, and a folder named
// twice is one target.
#include "VersionsFixture.h"

#include <signal.h>
#include <unistd.h>
#include <QJsonArray>

namespace selvanix::test {
namespace {

class UserFiles : public Versions {
protected:
    void SetUp() override {
        Versions::SetUp();
        QDir().mkpath(t(1));
    }
    // Every file and folder below a folder, the records aside.
    static QStringList entries(const QString& folder) {
        QStringList found;
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString name = QDir(folder).relativeFilePath(it.next());
            if (!name.startsWith(QLatin1String(".selvanix"))) {
                found << name;
            }
        }
        found.sort();
        return found;
    }
    // Another product's package (Pešmarin) in the package folder: it shares one path with
    // Brodělík's and has files of its own.
    void offerPesmarin() const {
        ZipWriter zip;
        for (const auto& [name, data] : {std::pair{QByteArray("pesmarin.exe"), kProgram},
                                         {QByteArray("lib/engine.dll"), QByteArray("p engine")},
                                         {QByteArray("data/pesmarin.sql"), QByteArray("p")}}) {
            ZipEntry e;
            e.name = name;
            e.data = data;
            zip.entries.push_back(e);
        }
        writeBytes(pkg() + "/pesmarin.ini",
                   descriptor(false).replace("brodelik.exe", "pesmarin.exe"));
        writeBytes(pkg() + "/upgrade-pesmarin.zip", zip.build());
    }
};

TEST_F(UserFiles, WithoutATargetNothingIsInstalledAnywhere) {
    offer(older);
    const QByteArray settings = readBytes(host() + "/upgrade.kac");
    const CliRun none = run({"install", "--product", "brodelik", "--source", pkg(), "--json"});
    EXPECT_EQ(none.exitCode, 5) << none.err.toStdString();
    EXPECT_EQ(none.outcome().value("outcome").toString(), QStringLiteral("no target"));
    EXPECT_EQ(none.outcome().value("exit").toInt(), 5);
    EXPECT_FALSE(QFileInfo::exists(host() + "/brodelik.exe"));
    EXPECT_EQ(readBytes(host() + "/upgrade.kac"), settings);
    // A missing target and a verify of one say so in JSON too.
    for (const QStringList& args :
         {install({root.path() + "/gone"}),
          QStringList{"verify", "--target", root.path() + "/gone", "--json"}}) {
        const CliRun missing = run(args);
        EXPECT_EQ(missing.exitCode, 5) << args.join(' ').toStdString();
        EXPECT_EQ(missing.outcome().value("exit").toInt(), 5) << missing.out.toStdString();
        EXPECT_TRUE(missing.err.startsWith("selvanix: "));
    }
}

TEST_F(UserFiles, AnotherProductsFolderIsRefusedUnlessAllowedAndRollbackBringsItBack) {
    offer(older);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    const std::map<QString, QByteArray> brodelik = hashes(t(1));
    offerPesmarin();
    QStringList args{"install", "--product", "pesmarin", "--source",
                     pkg(),     "--target",  t(1),       "--json"};
    const CliRun refused = run(args);
    EXPECT_EQ(refused.exitCode, 4) << refused.out.toStdString();
    const QJsonObject asked = refused.event("other-product");
    EXPECT_EQ(asked.value("installed_product").toString(), QStringLiteral("brodelik"));
    EXPECT_FALSE(asked.value("allowed").toBool());
    EXPECT_TRUE(refused.outcome().value("reason").toString().contains(t(1)));
    EXPECT_EQ(hashes(t(1)), brodelik);

    const CliRun allowed = run(args << "--allow-other-product");
    EXPECT_EQ(allowed.exitCode, 0) << allowed.out.toStdString();
    // Exactly the other product now: Brodělík's files went with the previous version.
    EXPECT_EQ(entries(t(1)),
              (QStringList{"data", "data/pesmarin.sql", "lib", "lib/engine.dll", "pesmarin.exe",
                           "pts", "pts/reports", "started.txt", "upgrade.kac"}));
    EXPECT_EQ(run({"verify", "--target", t(1)}).exitCode, 0);
    const CliRun back = run({"rollback", "--target", t(1), "--json"});
    EXPECT_EQ(back.exitCode, 0) << back.out.toStdString();
    std::map<QString, QByteArray> now = hashes(t(1));
    std::map<QString, QByteArray> before = brodelik;
    for (auto* files : {&now, &before}) {
        std::erase_if(*files, [](const auto& file) {
            return file.first.startsWith(QLatin1String(".selvanix/previous/"));
        });
    }
    EXPECT_EQ(now, before);
}

TEST_F(UserFiles, AReleasesDroppedFilesGoWithTheOldVersionAndComeBackWithIt) {
    offer(older);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    writeBytes(t(1) + "/mine.txt", "the user's");
    offer(newer);
    const CliRun updated = run(install({t(1)}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(t(1) + "/lib/legacy.dll"));
    EXPECT_EQ(run({"verify", "--target", t(1)}).exitCode, 0);
    EXPECT_EQ(readBytes(t(1) + "/mine.txt"), QByteArray("the user's"));
    EXPECT_EQ(run({"rollback", "--target", t(1)}).exitCode, 0);
    EXPECT_EQ(readBytes(t(1) + "/lib/legacy.dll"),
              QByteArray("a plugin the next release left out"));
    EXPECT_EQ(run({"verify", "--target", t(1)}).exitCode, 0);

    // Changed since it was installed, a dropped file is the user's: it stays and is named.
    writeBytes(t(1) + "/lib/legacy.dll", "tuned by the user");
    const CliRun kept = run(install({t(1)}));
    EXPECT_EQ(kept.exitCode, 0) << kept.out.toStdString();
    EXPECT_EQ(kept.event("kept").value("path").toString(), QStringLiteral("lib/legacy.dll"));
    EXPECT_EQ(readBytes(t(1) + "/lib/legacy.dll"), QByteArray("tuned by the user"));
    // Uninstalled, nothing it installed is left; the user's files are.
    EXPECT_EQ(run({"uninstall", "--target", t(1)}).exitCode, 0);
    EXPECT_EQ(entries(t(1)), (QStringList{"lib", "lib/legacy.dll", "mine.txt", "started.txt"}));
}

TEST_F(UserFiles, RollbackKeepsTheUsersEditOfAReplacedFileBesideIt) {
    offer(older);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    const QByteArray oldHelp = readBytes(t(1) + "/brodelik.chm");
    offer(newer);
    ASSERT_EQ(run(install({t(1)})).exitCode, 0);
    writeBytes(t(1) + "/brodelik.chm", "notes the user added");
    writeBytes(t(1) + "/brodelik.chm.kept", "an older keepsake");
    const CliRun back = run({"rollback", "--target", t(1), "--json"});
    EXPECT_EQ(back.exitCode, 0) << back.out.toStdString();
    EXPECT_EQ(readBytes(t(1) + "/brodelik.chm"), oldHelp);
    EXPECT_EQ(readBytes(t(1) + "/brodelik.chm.kept-2"), QByteArray("notes the user added"));
    EXPECT_EQ(readBytes(t(1) + "/brodelik.chm.kept"), QByteArray("an older keepsake"));
    const QJsonObject kept = back.event("kept");
    EXPECT_EQ(kept.value("path").toString(), QStringLiteral("brodelik.chm"));
    EXPECT_EQ(kept.value("kept_as").toString(), QStringLiteral("brodelik.chm.kept-2"));
}

TEST_F(UserFiles, AnUndoneRunLeavesNoFolderItMadeAndKeepsTheUsersOwn) {
    const QString t3 = root.path() + "/t3";
    QDir().mkpath(t3 + "/lib");  // the user's, empty
    offer(newer);
    writeBytes(root.path() + "/pause", "");
    // Stopped while staging, and killed while staging: neither leaves a folder behind.
    for (const bool kill : {false, true}) {
        env["SELVANIX_PAUSE_AT"] = "staged";
        env["SELVANIX_PAUSE_DIR"] = root.path() + (kill ? "/k" : "/s");
        QDir().mkpath(env["SELVANIX_PAUSE_DIR"]);
        QProcess* p = start(install({t3}));
        env.erase("SELVANIX_PAUSE_AT");
        const QString reached = env["SELVANIX_PAUSE_DIR"] + "/staged.reached";
        for (int i = 0; i < 3000 && !QFileInfo::exists(reached); ++i) {
            p->waitForFinished(20);
        }
        ASSERT_TRUE(QFileInfo::exists(reached));
        ASSERT_TRUE(QFileInfo(t3 + "/pts/extra").isDir()) << "staging made its folders";
        if (kill) {
            ::kill(static_cast<pid_t>(p->processId()), SIGKILL);
        } else {
            stopHeld(*p, SIGTERM);
        }
        writeBytes(env["SELVANIX_PAUSE_DIR"] + "/staged.go", "");
        p->waitForFinished(60000);
        if (kill) {
            EXPECT_EQ(run({"verify", "--target", t3}).exitCode, 5);  // recovers, then no record
        } else {
            EXPECT_EQ(p->exitCode(), 9);
        }
        EXPECT_EQ(entries(t3), QStringList{"lib"}) << (kill ? "killed" : "stopped");
        EXPECT_FALSE(QFileInfo::exists(t3 + "/.selvanix"));
    }
}

TEST_F(UserFiles, AFolderNamedTwiceIsOneTarget) {
    offer(older);
    const QString link = root.path() + "/link";
    ASSERT_EQ(::symlink(QFile::encodeName(t(1)).constData(), QFile::encodeName(link).constData()),
              0);
    const CliRun once = run(install({t(1), t(1) + "/", link}));
    EXPECT_EQ(once.exitCode, 0) << once.out.toStdString();
    EXPECT_EQ(once.event("installed").value("installed").toInt(), 1);
    EXPECT_EQ(once.outcome().value("targets").toArray().size(), 1);
    EXPECT_EQ(run({"verify", "--target", t(1)}).exitCode, 0);
}

}  // namespace
}  // namespace selvanix::test
