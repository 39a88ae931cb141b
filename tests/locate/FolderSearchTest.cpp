#include "locate/DriveInventory.h"
#include "locate/FolderSearch.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"

#include "support/OtherUser.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <functional>

using namespace selvanix;
using selvanix::test::runAsOtherUser;
using selvanix::test::TestDrives;
using selvanix::test::writeBytes;

namespace {

class RecordingBar : public SearchProgress {
public:
    void show() override {
        events << "show";
        visible = true;
    }
    void hide() override {
        events << "hide";
        visible = false;
    }
    void setMaximum(int m) override { events << QStringLiteral("max %1").arg(m); }
    void setPosition(int p) override { events << QStringLiteral("pos %1").arg(p); }
    QStringList events;
    bool visible = false;
};

class Hits : public SearchResults {
public:
    void append(const QString& folder) override { folders << folder; }
    QStringList folders;
};

class FolderSearch : public ::testing::Test {
protected:
    void mark(QChar drive, const QString& folder, const QString& name = "target.exe") {
        writeBytes(drives.root(drive) + "/" + folder + "/" + name, "x");
    }
    QStringList search(const QString& soubor = "target.exe", const QString& kde = "HD") {
        GetDrives(inventory);
        Hits hits;
        NajdiSouborHD(soubor, kde, inventory, lists, hits, barA, barB);
        return hits.folders;
    }

    TestDrives drives;
    DriveInventory inventory;
    FolderListings lists;
    RecordingBar barA;
    RecordingBar barB;
};

TEST(DriveInventory, ClassesInLetterOrderRebuiltEachTime) {
    TestDrives drives;
    drives.add(u'A', platform::DRIVE_REMOVABLE);
    drives.add(u'D');
    drives.add(u'C');
    drives.add(u'E', platform::DRIVE_CDROM);
    drives.add(u'Z', platform::DRIVE_REMOTE);
    DriveInventory inventory;
    GetDrives(inventory);
    EXPECT_EQ(inventory.fd, 1);
    EXPECT_EQ(inventory.FDDisky[0], u'A');
    EXPECT_EQ(inventory.hd, 2);
    EXPECT_EQ(inventory.HDDisky[0], u'C');
    EXPECT_EQ(inventory.HDDisky[1], u'D');
    EXPECT_EQ(inventory.cd, 1);
    EXPECT_EQ(inventory.CDDisky[0], u'E');
    EXPECT_EQ(inventory.sd, 1);
    EXPECT_EQ(inventory.SDDisky[0], u'Z');

    platform::DriveMap fewer;
    fewer.setDrive(u'C', drives.root(u'C'), platform::DRIVE_FIXED);
    platform::setDriveMap(fewer);
    GetDrives(inventory);
    EXPECT_EQ(inventory.hd, 1);
    EXPECT_EQ(inventory.fd, 0);
    EXPECT_EQ(inventory.HDDisky[1], u'D');  // stale, beyond the count
}

TEST_F(FolderSearch, HitsInPreOrderAcrossDrives) {
    drives.add(u'C');
    drives.add(u'D');
    drives.add(u'E', platform::DRIVE_REMOVABLE);
    mark(u'C', "Apps/Tool");
    mark(u'C', "A");
    mark(u'C', "A/B");
    mark(u'C', "beta");
    mark(u'C', "Alpha");
    mark(u'D', ".");
    mark(u'E', "X");  // not a fixed drive
    EXPECT_EQ(search(),
              (QStringList{"C:\\A", "C:\\A\\B", "C:\\Alpha", "C:\\Apps\\Tool", "C:\\beta", "D:"}));
    EXPECT_FALSE(barA.visible);
    EXPECT_FALSE(barB.visible);
    EXPECT_EQ(barA.events.first(), "show");
    EXPECT_TRUE(barA.events.contains("max 2"));
    EXPECT_EQ(barA.events.mid(barA.events.size() - 2), (QStringList{"pos 0", "hide"}));
    EXPECT_TRUE(barB.events.contains("max 4"));  // C's root: A, Alpha, Apps, beta
    EXPECT_TRUE(barB.events.contains("max 1"));  // D's root: the file
}

TEST_F(FolderSearch, HiddenFoldersFilesAndDepth) {
    drives.add(u'C');
    mark(u'C', ".hidden/in");             // never entered
    mark(u'C', "vis", ".target-hidden");  // other name
    mark(u'C', "shown", "target.exe");
    writeBytes(drives.root(u'C') + "/hiddenfile/.x", "");
    mark(u'C', "hiddenfile", ".target.exe");
    mark(u'C', "1/2/3/4/5/6/7/8");                            // level 8: found
    mark(u'C', "a/b/c/d/e/f/g/h/i");                          // level 9: not reached
    QDir().mkpath(drives.root(u'C') + "/folder/target.exe");  // a folder of that name
    const QStringList hits = search();
    EXPECT_EQ(hits, (QStringList{"C:\\1\\2\\3\\4\\5\\6\\7\\8", "C:\\shown"}));
    EXPECT_EQ(search(".target.exe"), QStringList{"C:\\hiddenfile"});
}

TEST_F(FolderSearch, ClassesWithoutDrivesAndOddNames) {
    drives.add(u'C');
    mark(u'C', "x");
    EXPECT_TRUE(search("target.exe", "CD").isEmpty());
    EXPECT_TRUE(search("target.exe", "hd").isEmpty());
    EXPECT_EQ(barA.events.first(), "show");
    EXPECT_FALSE(barA.visible);
    EXPECT_TRUE(search("").isEmpty());
    EXPECT_TRUE(search("C:\\x\\target.exe").isEmpty());
    EXPECT_TRUE(search("\\x\\target.exe").isEmpty());
    EXPECT_EQ(search("x\\target.exe"), QStringList{"C:"});  // a name with folder parts
}

TEST_F(FolderSearch, ListingRules) {
    drives.add(u'C');
    QDir().mkpath(drives.root(u'C') + "/top/Zeta");
    QDir().mkpath(drives.root(u'C') + "/top/alpha");
    writeBytes(drives.root(u'C') + "/top/b.txt", "");
    writeBytes(drives.root(u'C') + "/top/.hid", "");
    ASSERT_EQ(::mkfifo(QFile::encodeName(drives.root(u'C') + "/top/pipe").constData(), 0644), 0);
    FolderListing listing;
    listing.setDirectory("C:\\top\\");
    EXPECT_EQ(listing.items(), (QStringList{"[..]", "[.]", "[alpha]", "[Zeta]", "b.txt"}));
    listing.setDirectory("C:\\");
    EXPECT_EQ(listing.items(), QStringList{"[top]"});  // no [.] and [..] at a root
    EXPECT_THROW(listing.setDirectory("C:\\missing\\"), EInOutError);
}

bool makeLink(const QString& target, const QString& link) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

// Runs the search as an unprivileged user, for whom permission bits refuse for real.
TEST_F(FolderSearch, FolderTheUserMayNotEnterIsSkippedAndCounted) {
    const QString c = drives.add(u'C');
    mark(u'C', "A");
    mark(u'C', "B/locked/inner");
    mark(u'C', "C");
    QDir().mkpath(c + "/B/unreadable/sub");
    mark(u'C', "B/unreadable");
    ::chmod(QFile::encodeName(c + "/B/locked").constData(), 0);
    ::chmod(QFile::encodeName(c + "/B/unreadable").constData(), 0711);  // entered, not listed
    const QByteArray report = runAsOtherUser([&] {
        Hits hits;
        QString outcome;
        int skipped = -1;
        try {
            GetDrives(inventory);
            skipped = NajdiSouborHD("target.exe", "HD", inventory, lists, hits, barA, barB).refused;
            outcome = "no error";
        } catch (const EInOutError& e) {
            outcome = e.message();
        }
        return (outcome + "|" + hits.folders.join(',') + "|" + QString::number(skipped)).toUtf8();
    });
    ::chmod(QFile::encodeName(c + "/B/locked").constData(), 0755);
    ::chmod(QFile::encodeName(c + "/B/unreadable").constData(), 0755);
    EXPECT_EQ(QString::fromUtf8(report),
              QStringLiteral("no error|C:\\A,C:\\B\\unreadable,C:\\C|1"));
}

// Links to folders are junctions: never entered, so loops end; what is a folder comes from
// the listing, never from brackets in a name.
TEST_F(FolderSearch, LinksLoopsAndBracketNamesOnARealTree) {
    const QString c = drives.add(u'C');
    mark(u'C', "A");
    ASSERT_TRUE(makeLink(c + "/A", c + "/LinkToA"));
    QDir().mkpath(c + "/B");
    ASSERT_TRUE(makeLink("..", c + "/B/up"));              // a loop
    ASSERT_TRUE(makeLink("self", c + "/B/self"));          // a link to itself
    ASSERT_TRUE(makeLink(c + "/nowhere", c + "/B/gone"));  // dangling
    writeBytes(c + "/D/[", "a file named [");
    writeBytes(c + "/E/[x]", "");
    writeBytes(c + "/E/x", "");
    mark(u'C', "E");
    QDir().mkpath(c + "/F");
    ASSERT_TRUE(makeLink(c + "/A/target.exe", c + "/F/target.exe"));  // a link to a file counts
    int skipped = -1;
    GetDrives(inventory);
    Hits hits;
    skipped = NajdiSouborHD("target.exe", "HD", inventory, lists, hits, barA, barB).refused;
    EXPECT_EQ(hits.folders, (QStringList{"C:\\A", "C:\\E", "C:\\F"}));
    EXPECT_EQ(skipped, 0);

    FolderListing listing;
    listing.setDirectory("C:\\E\\");
    EXPECT_EQ(listing.items(), (QStringList{"[..]", "[.]", "[x]", "target.exe", "x"}));
    for (int i = 0; i < listing.count(); ++i) {
        EXPECT_FALSE(listing.isFolder(i)) << listing.item(i).toStdString();
    }
    listing.setDirectory("C:\\B\\");
    EXPECT_EQ(listing.items(), (QStringList{"[..]", "[.]"}));  // links to folders are left out
    listing.setDirectory("C:\\");
    EXPECT_EQ(listing.items(), (QStringList{"[A]", "[B]", "[D]", "[E]", "[F]"}));
    EXPECT_TRUE(listing.isFolder(0));
}

TEST_F(FolderSearch, FolderThatVanishedOrBecameAFileIsSkipped) {
    const QString c = drives.add(u'C');
    QDir().mkpath(c + "/gone");
    QDir().mkpath(c + "/file");
    FolderListing root;
    root.setDirectory("C:\\");
    ASSERT_EQ(root.items(), (QStringList{"[file]", "[gone]"}));
    ASSERT_TRUE(QDir(c).rmdir("gone"));
    ASSERT_TRUE(QDir(c).rmdir("file"));
    writeBytes(c + "/file", "now a file");
    FolderListing child;
    EXPECT_EQ(child.setSubfolder(root, "gone"), FolderEntered::Missing);
    EXPECT_EQ(child.setSubfolder(root, "file"), FolderEntered::Missing);
    EXPECT_EQ(child.count(), 0);
}

// Mounts inside a drive: a bind mount of the same file system is searched once, another
// file system not at all (it has its own letter, or none). Needs the right to mount.
TEST_F(FolderSearch, MountsInsideADrive) {
    const QString c = drives.add(u'C');
    mark(u'C', "A");
    QDir().mkpath(c + "/Z/bound");
    QDir().mkpath(c + "/Z/tmpfs");
    const QByteArray bound = QFile::encodeName(c + "/Z/bound");
    const QByteArray other = QFile::encodeName(c + "/Z/tmpfs");
    if (::getuid() != 0 || ::mount(QFile::encodeName(c + "/A").constData(), bound.constData(),
                                   nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "cannot bind-mount here";
    }
    const bool tmpfs = ::mount("tmpfs", other.constData(), "tmpfs", 0, "size=1m") == 0;
    if (tmpfs) {
        writeBytes(c + "/Z/tmpfs/target.exe", "on another file system");
    }
    const QStringList found = search();
    ::umount2(bound.constData(), MNT_DETACH);
    if (tmpfs) {
        ::umount2(other.constData(), MNT_DETACH);
    }
    EXPECT_EQ(found, QStringList{"C:\\A"});
}

// Markers in folders this test makes on the machine's root file system, removed again
// whatever the outcome.
class PlantedMarkers {
public:
    explicit PlantedMarkers(const QString& name) : name_(name) {
        struct stat root {};
        ::stat("/", &root);
        for (const char* parent : {"/opt", "/srv", "/var/tmp"}) {
            struct stat st {};
            if (::stat(parent, &st) != 0 || st.st_dev != root.st_dev) {
                continue;  // not there, or on another file system than "/"
            }
            const QString folder =
                QString::fromLatin1(parent) + "/selvanix-search-" + QString::number(::getpid());
            if (::mkdir(QFile::encodeName(folder).constData(), 0755) != 0) {
                continue;
            }
            ::chmod(QFile::encodeName(folder).constData(), 0755);
            folders_ << folder;
            writeBytes(folder + "/" + name_, "marker");
        }
    }
    ~PlantedMarkers() {
        for (const QString& folder : folders_) {
            QDir(folder).removeRecursively();
        }
    }
    PlantedMarkers(const PlantedMarkers&) = delete;
    PlantedMarkers& operator=(const PlantedMarkers&) = delete;

    // Where the search must find them, in walk order.
    QStringList expected() const {
        QStringList hits;
        for (QString folder : folders_) {
            hits << "C:" + folder.replace(u'/', u'\\');
        }
        return hits;
    }

private:
    QString name_;
    QStringList folders_;
};

// The whole real "/" as drive C:, with its root-only folders, links, loops and special
// mounts: exactly the planted markers are found, as root and as an unprivileged user.
TEST(RealRootSearch, FindsExactlyThePlantedMarkers) {
    const QString name = QStringLiteral("selvanix-marker-%1.exe").arg(::getpid());
    const PlantedMarkers markers(name);
    if (markers.expected().isEmpty()) {
        GTEST_SKIP() << "no folder of the root file system to plant markers in";
    }
    platform::DriveMap map;
    map.setDrive(u'C', QStringLiteral("/"), platform::DRIVE_FIXED);
    platform::setDriveMap(map);
    const auto searchRoot = [&] {
        DriveInventory inventory;
        GetDrives(inventory);
        FolderListings lists;
        RecordingBar a;
        RecordingBar b;
        Hits hits;
        QString outcome = QStringLiteral("no error");
        try {
            NajdiSouborHD(name, "HD", inventory, lists, hits, a, b);
        } catch (const EInOutError& e) {
            outcome = e.message();
        }
        return (outcome + "|" + hits.folders.join(',')).toUtf8();
    };
    const QByteArray expected = "no error|" + markers.expected().join(',').toUtf8();
    // The walk of a real drive takes long enough that the window's pending events (its
    // repaints) are served meanwhile.
    int argc = 1;
    char program[] = "test_locate";
    char* argv[] = {program, nullptr};
    const QCoreApplication application(argc, argv);
    bool served = false;
    QTimer::singleShot(0, [&] { served = true; });
    EXPECT_EQ(searchRoot(), expected);
    EXPECT_TRUE(served);
    if (::getuid() == 0) {
        EXPECT_EQ(runAsOtherUser(searchRoot), expected);
    }
    platform::setDriveMap(platform::DriveMap{});
}

}  // namespace

namespace {

void chownTo(const QString& path, uid_t user) {
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), user, user), 0) << path.toStdString();
}

void chmodTo(const QString& path, mode_t mode) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

// As root, a hit is a target only where no one else can write the folder or rename it away:
// the folder and every folder above it belong to root and are not group- or world-writable
// (sticky folders above are fine).
TEST_F(FolderSearch, FoldersOtherUsersCouldChangeAreNoTargetsForRoot) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to own folders as another user";
    }
    const QString c = drives.add(u'C');
    for (const char* folder : {"own", "theirs", "groupw", "open/inner", "sticky/inner",
                               "theirsabove/inner", "bin/deep/x"}) {
        mark(u'C', folder);
    }
    chownTo(c + "/theirs", selvanix::test::kNobody);
    chmodTo(c + "/groupw", 0775);
    chmodTo(c + "/open", 0777);
    chmodTo(c + "/sticky", 01777);
    chownTo(c + "/theirsabove", selvanix::test::kNobody);
    chmodTo(c + "/bin/deep/x", 0757);
    GetDrives(inventory);
    Hits hits;
    const SearchSkips skips = NajdiSouborHD("target.exe", "HD", inventory, lists, hits, barA, barB);
    EXPECT_EQ(hits.folders, (QStringList{"C:\\own", "C:\\sticky\\inner"}));
    EXPECT_EQ(skips.foreign, 5);
    EXPECT_EQ(skips.refused, 0);
}

// As an ordinary user, folders of root and of that user count, their group is theirs to
// choose; a folder any user can write, or another user's, does not.
TEST_F(FolderSearch, AnOrdinaryUserTrustsRootAndThemselves) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to switch to the other user";
    }
    const QString c = drives.add(u'C');
    mark(u'C', "rootowned");
    mark(u'C', "stranger");
    chownTo(c + "/stranger", 1234);
    QDir().mkpath(c + "/shared");
    chmodTo(c + "/shared", 0777);
    // Hits and the count passed over, as the other user searches.
    const auto searchAsOther = [&](const std::function<void()>& before) {
        return QString::fromUtf8(runAsOtherUser([&] {
            before();
            GetDrives(inventory);
            Hits hits;
            const SearchSkips skips =
                NajdiSouborHD("target.exe", "HD", inventory, lists, hits, barA, barB);
            return (hits.folders.join(',') + "|" + QString::number(skips.foreign)).toUtf8();
        }));
    };
    const QString report = searchAsOther([&] {
        QDir().mkpath(c + "/shared/mine");
        QDir().mkpath(c + "/shared/open");
        ::chmod(QFile::encodeName(c + "/shared/mine").constData(), 0775);
        ::chmod(QFile::encodeName(c + "/shared/open").constData(), 0777);
        writeBytes(c + "/shared/mine/target.exe", "x");
        writeBytes(c + "/shared/open/target.exe", "x");
    });
    // The shared folder above is world-writable and not sticky: nothing below it counts.
    EXPECT_EQ(report, QStringLiteral("C:\\rootowned|3"));
    chmodTo(c + "/shared", 01777);
    EXPECT_EQ(searchAsOther([] {}), QStringLiteral("C:\\rootowned,C:\\shared\\mine|2"));
}

TEST_F(FolderSearch, AMarkerNeverLeavesItsFolder) {
    for (const char* bad : {"", "..", ".", "..\\x.exe", "bin\\..\\x.exe", "bin\\\\x.exe", "\\x.exe",
                            "/x.exe", "C:x.exe", "bin\\", "./x.exe"}) {
        EXPECT_FALSE(isMarkerName(QString::fromLatin1(bad))) << bad;
    }
    for (const char* good : {"x.exe", "bin\\x.exe", "bin/x.exe", "a.b\\..x.exe"}) {
        EXPECT_TRUE(isMarkerName(QString::fromLatin1(good))) << good;
    }
    const QString c = drives.add(u'C');
    mark(u'C', "A");
    mark(u'C', "B/sub");
    EXPECT_TRUE(search("..").isEmpty());
    EXPECT_TRUE(search("sub\\..\\target.exe").isEmpty());

    // Folder parts are entered without following a link; a link at the name itself counts.
    mark(u'C', "elsewhere/bin", "tool.exe");
    mark(u'C', "real/bin", "tool.exe");
    QDir().mkpath(c + "/linked");
    ASSERT_TRUE(makeLink(c + "/elsewhere/bin", c + "/linked/bin"));
    QDir().mkpath(c + "/named/bin");
    ASSERT_TRUE(makeLink(c + "/real/bin/tool.exe", c + "/named/bin/tool.exe"));
    EXPECT_EQ(search("bin\\tool.exe"), (QStringList{"C:\\elsewhere", "C:\\named", "C:\\real"}));
}

}  // namespace
