#include "locate/DriveInventory.h"
#include "locate/FolderSearch.h"
#include "platform/Exception.h"

#include "support/OtherUser.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>

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

// Runs the search as an unprivileged user, for whom permission bits refuse for real.
TEST_F(FolderSearch, FolderThatCannotBeEnteredEndsTheSearch) {
    const QString c = drives.add(u'C');
    mark(u'C', "A");
    mark(u'C', "B/locked/inner");
    mark(u'C', "C");
    ::chmod(QFile::encodeName(c + "/B/locked").constData(), 0);
    const QByteArray report = runAsOtherUser([&] {
        Hits hits;
        QString outcome;
        try {
            GetDrives(inventory);
            NajdiSouborHD("target.exe", "HD", inventory, lists, hits, barA, barB);
            outcome = "no error";
        } catch (const EInOutError& e) {
            outcome = e.message();
        }
        return (outcome + "|" + hits.folders.join(',') + "|" + (barA.visible ? "shown" : "hidden"))
            .toUtf8();
    });
    ::chmod(QFile::encodeName(c + "/B/locked").constData(), 0755);
    EXPECT_EQ(QString::fromUtf8(report), QStringLiteral("File access denied|C:\\A|hidden"));
}

}  // namespace
