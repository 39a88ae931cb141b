// `selvanix uninstall` takes back what an installation put into a folder, and nothing else:
// files the user changed stay and are named, and a planted link leads nowhere.
#include "CliFixture.h"

namespace selvanix::test {
namespace {

using Uninstall = CommandLineFixture;

QStringList tree(const QString& folder) {
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        names << it.next().mid(folder.size() + 1);
    }
    names.sort();
    return names;
}

TEST_F(Uninstall, AFolderThatHeldNoneOfThePackageIsLeftAsItWasBarTheUsersChanges) {
    writeSettings();
    servePackage();
    server.route("/brodelik.ini", httpReply(200, descriptor(false)));  // nothing to start
    writeBytes(target() + "/notes.txt", "mine");
    QDir().mkpath(target() + "/mine");
    const QStringList before = tree(target());
    ASSERT_EQ(run({"install", "--product", "brodelik", "--target", target()}).exitCode, 0);
    writeBytes(target() + "/lib/engine.dll", "patched by the user");
    const CliRun r = run({"uninstall", "--target", target(), "--json"});
    EXPECT_EQ(r.exitCode, 7) << r.out.toStdString();
    EXPECT_EQ(r.event("kept").value("path").toString(), QStringLiteral("lib/engine.dll"));
    EXPECT_TRUE(r.outcome().value("changed").toBool());
    QStringList expected = before + QStringList{"lib", "lib/engine.dll"};
    expected.sort();
    EXPECT_EQ(tree(target()), expected);
    EXPECT_EQ(readBytes(target() + "/lib/engine.dll"), QByteArray("patched by the user"));
    // Nothing recorded any more: a second uninstall has nothing to take back.
    EXPECT_EQ(run({"uninstall", "--target", target()}).exitCode, 5);
}

TEST_F(Uninstall, ARecordOrALinkPlantedInTheTargetReachesNothingOutsideIt) {
    writeSettings();
    servePackage();
    ASSERT_EQ(run({"install", "--product", "brodelik", "--target", target()}).exitCode, 0);
    // The data folder swapped for a link to a folder elsewhere holding the same file.
    const QString elsewhere = root.path() + "/elsewhere";
    writeBytes(elsewhere + "/brodelik.sql", readBytes(target() + "/data/brodelik.sql"));
    QDir(target() + "/data").removeRecursively();
    ASSERT_TRUE(QFile::link(elsewhere, target() + "/data"));
    const CliRun r = run({"uninstall", "--target", target(), "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(QFileInfo(elsewhere + "/brodelik.sql").isFile()) << "removed through a link";
    EXPECT_TRUE(QFileInfo(target() + "/data").isSymLink());

    // A record naming a path outside the target is no record at all.
    QDir().mkpath(target() + "/.selvanix");
    writeBytes(root.path() + "/victim", "x");
    writeBytes(target() + "/.selvanix/manifest",
               "selvanix-manifest 1\nstem brodelik\nname B\nversion 1\ndate 1\nsha256 aa\n"
               "file 8cdc1683 1 ../victim\n");
    EXPECT_EQ(run({"uninstall", "--target", target()}).exitCode, 5);
    EXPECT_TRUE(QFileInfo(root.path() + "/victim").isFile());
}

}  // namespace
}  // namespace selvanix::test
