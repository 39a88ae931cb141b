// Extraction into folders where someone else may have planted links, with hostile archives.
#include "ExtractFixture.h"

#include "platform/FileOps.h"

#include "platform/ProcessSignals.h"

#include "support/FileSizeLimit.h"
#include "support/OtherUser.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

using namespace selvanix;
using namespace selvanix::test;

namespace {

bool makeLink(const QString& target, const QString& link) {
    QDir().mkpath(QFileInfo(link).absolutePath());
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

QString linkTarget(const QString& link) {
    return QFileInfo(link).symLinkTarget();
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

std::uint16_t le16(const QByteArray& b, qsizetype at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}

std::uint32_t le32(const QByteArray& b, qsizetype at) {
    return le16(b, at) | (static_cast<std::uint32_t>(le16(b, at + 2)) << 16);
}

void put16(QByteArray& b, qsizetype at, std::uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void put32(QByteArray& b, qsizetype at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// The archive with its first directory record repeated under other names of the same length:
// many entries whose data is one local entry.
QByteArray withSharedLocalEntry(QByteArray zip, int copies) {
    const qsizetype end = zip.size() - 22;
    const std::uint32_t dirSize = le32(zip, end + 12);
    const std::uint32_t dirAt = le32(zip, end + 16);
    const qsizetype recordSize =
        46 + le16(zip, dirAt + 28) + le16(zip, dirAt + 30) + le16(zip, dirAt + 32);
    const QByteArray record = zip.mid(dirAt, recordSize);
    QByteArray extra;
    for (int i = 1; i <= copies; ++i) {
        QByteArray copy = record;
        const QByteArray tag = QByteArray::number(i).rightJustified(3, '0');
        copy.replace(46, 3, tag);  // names start with three digits
        extra += copy;
    }
    QByteArray endRecord = zip.mid(end);
    zip.truncate(end);
    zip += extra;
    put16(endRecord, 8, le16(endRecord, 8) + copies);
    put16(endRecord, 10, le16(endRecord, 10) + copies);
    put32(endRecord, 12, dirSize + static_cast<std::uint32_t>(extra.size()));
    return zip + endRecord;
}

class ExtractSafety : public ExtractFiles {
protected:
    ExtractSafety() {
        outside = drives.root(u'C') + "/outside";
        writeBytes(outside + "/victim.exe", "victim");
        ::chmod(QFile::encodeName(outside + "/victim.exe").constData(), 0444);
        QDir().mkpath(base);
    }

    void expectOutsideUntouched() {
        EXPECT_EQ(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{"victim.exe"});
        EXPECT_EQ(readBytes(outside + "/victim.exe"), QByteArray("victim"));
        EXPECT_EQ(modeOf(outside + "/victim.exe") & 07777, 0444u);
    }

    QString outside;
};

TEST_F(ExtractSafety, LinkOnTheWayIsRefusedAtEveryDepthAndLeftAlone) {
    // Links to a folder and to a file outside, at the first, second and third level.
    ASSERT_TRUE(makeLink(outside, base + "/sub"));
    ASSERT_TRUE(makeLink(outside, base + "/a/mid"));
    ASSERT_TRUE(makeLink(outside, base + "/a/b/deep"));
    ASSERT_TRUE(makeLink(outside + "/victim.exe", base + "/file"));
    ZipWriter w;
    for (const char* name : {"sub/x.exe", "a/mid/x.exe", "a/b/deep/x.exe", "a/b/deep/c/x.exe",
                             "file/x.exe", "a/ok.exe"}) {
        w.entries.push_back({.name = name, .data = "payload"});
    }
    write(w);
    open();
    EXPECT_EQ(extract(), (QList<int>{19, 19, 19, 19, 19}));
    expectOutsideUntouched();
    EXPECT_EQ(readBytes(base + "/a/ok.exe"), QByteArray("payload"));
    EXPECT_EQ(linkTarget(base + "/sub"), outside);
    EXPECT_EQ(linkTarget(base + "/a/b/deep"), outside);
    EXPECT_EQ(linkTarget(base + "/file"), outside + "/victim.exe");
}

TEST_F(ExtractSafety, LinkAtTheFinalNameIsReplacedNeverFollowed) {
    ASSERT_TRUE(makeLink(outside + "/victim.exe", base + "/app.exe"));
    ASSERT_TRUE(makeLink(outside + "/victim.exe", base + "/lib/deep.dll"));
    ASSERT_TRUE(makeLink(outside + "/nothing-yet.exe", base + "/dangling.exe"));
    ZipWriter w;
    w.entries.push_back({.name = "app.exe", .data = "new app", .externalAttr = 0x21});
    w.entries.push_back({.name = "lib/deep.dll", .data = "new dll"});
    w.entries.push_back({.name = "dangling.exe", .data = "new too"});
    write(w);
    open();
    EXPECT_TRUE(extract().isEmpty());
    expectOutsideUntouched();
    EXPECT_FALSE(QFile::exists(outside + "/nothing-yet.exe"));
    for (const char* name : {"/app.exe", "/lib/deep.dll", "/dangling.exe"}) {
        EXPECT_TRUE(S_ISREG(modeOf(base + name))) << name;
    }
    EXPECT_EQ(readBytes(base + "/app.exe"), QByteArray("new app"));
    EXPECT_EQ(modeOf(base + "/app.exe") & 07777, 0444u);  // read-only, set on the new file
    EXPECT_EQ(readBytes(base + "/lib/deep.dll"), QByteArray("new dll"));
}

TEST_F(ExtractSafety, PermissionBitsStayWithinTheUmask) {
    const auto unixEntry = [](const char* name, unsigned mode) {
        return ZipEntry{.name = name,
                        .data = "x",
                        .versionMadeBy = 0x031E,
                        .externalAttr = (static_cast<std::uint32_t>(0100000 | mode) << 16) | 0x20};
    };
    ZipWriter w;
    w.entries.push_back(unixEntry("open.exe", 0777));
    w.entries.push_back(unixEntry("suid.exe", 04755));
    w.entries.push_back(unixEntry("sticky.exe", 07777));
    w.entries.push_back(unixEntry("private.exe", 0700));
    w.entries.push_back(unixEntry("zero.exe", 0));
    w.entries.push_back({.name = "dos.exe", .data = "x", .externalAttr = 0x20});
    w.entries.push_back({.name = "dosro.exe", .data = "x", .externalAttr = 0x21});
    write(w);
    open();
    EXPECT_TRUE(extract().isEmpty());
    EXPECT_EQ(modeOf(base + "/open.exe") & 07777, 0755u);
    EXPECT_EQ(modeOf(base + "/suid.exe") & 07777, 0755u);
    EXPECT_EQ(modeOf(base + "/sticky.exe") & 07777, 0755u);
    EXPECT_EQ(modeOf(base + "/private.exe") & 07777, 0700u);
    EXPECT_EQ(modeOf(base + "/zero.exe") & 07777, 0644u);  // falls back to the DOS attributes
    EXPECT_EQ(modeOf(base + "/dos.exe") & 07777, 0644u);
    EXPECT_EQ(modeOf(base + "/dosro.exe") & 07777, 0444u);

    // A stricter umask is honoured as well.
    ::umask(077);
    QDir(base).removeRecursively();
    extract();
    EXPECT_EQ(modeOf(base + "/open.exe") & 07777, 0700u);
    EXPECT_EQ(modeOf(base + "/dos.exe") & 07777, 0600u);
}

TEST_F(ExtractSafety, EntriesSharingDataAreRefusedAndOutputIsBounded) {
    ZipWriter w;
    w.entries.push_back({.name = "000.exe", .data = QByteArray(4 << 20, 'z')});
    w.entries.push_back({.name = "own.dll", .data = "separate"});
    const QByteArray bomb = withSharedLocalEntry(w.build(), 40);
    ASSERT_LT(bomb.size(), 20000);
    writeBytes(archive, bomb);
    open();
    ASSERT_EQ(arc.directory().Count(), 42);
    const QList<int> natives = extract();
    EXPECT_EQ(natives, QList<int>(40, 8));
    qint64 total = 0;
    for (const QFileInfo& info : QDir(base).entryInfoList(QDir::Files)) {
        total += info.size();
    }
    EXPECT_EQ(total, (4 << 20) + 8);  // one copy of the shared data and the separate entry
    // A retry of the one entry that holds the data is no overlap.
    EXPECT_TRUE(extract("000.exe").isEmpty());
}

// The fifth mask's folder below the target: a link planted there (by another user when the
// tests run as root) is refused for every entry, and nothing reaches the folder it names.
TEST_F(ExtractSafety, LinkAtTheFolderBelowTheTargetIsRefusedForEachEntry) {
    ::chmod(QFile::encodeName(base).constData(), 0777);  // our folder, open to the other user
    const QByteArray planted = runAsOtherUser(
        [&] { return makeLink(outside, base + "/pts") ? QByteArray("planted") : "failed"; });
    ASSERT_EQ(planted, QByteArray("planted"));
    ZipWriter w;
    w.entries.push_back({.name = "reports/list.fr3", .data = "report"});
    w.entries.push_back({.name = "top.fr3", .data = "report"});
    write(w);
    open();
    arc.SetBaseAnchor("C:\\T");
    arc.BaseDir = "C:\\T\\pts";
    EXPECT_EQ(extract("*.fr3"), (QList<int>{19, 19}));
    expectOutsideUntouched();
    EXPECT_EQ(linkTarget(base + "/pts"), outside);

    // Without the link the folder is made below the target as before.
    ASSERT_TRUE(QFile::remove(base + "/pts"));
    EXPECT_TRUE(extract("*.fr3").isEmpty());
    EXPECT_EQ(readBytes(base + "/pts/reports/list.fr3"), QByteArray("report"));
    EXPECT_EQ(readBytes(base + "/pts/top.fr3"), QByteArray("report"));
}

// A link is refused; a pipe, socket or device entry is its data in a regular file (zip reading
// standard input records the pipe's mode), never a special file.
TEST_F(ExtractSafety, LinksAreRefusedAndSpecialFilesAreWrittenAsTheirData) {
    ZipWriter w;
    const auto typed = [](const char* name, unsigned mode, const QByteArray& data) {
        return ZipEntry{.name = name,
                        .data = data,
                        .versionMadeBy = 0x031E,
                        .externalAttr = static_cast<std::uint32_t>(mode) << 16};
    };
    w.entries.push_back(typed("link.exe", 0120777, "/etc/shadow"));
    w.entries.push_back(typed("pipe.exe", 010644, "from a pipe"));
    w.entries.push_back(typed("socket.exe", 0140755, "socket"));
    w.entries.push_back(typed("chars.exe", 020600, "chars"));
    w.entries.push_back(typed("blocks.exe", 066644, "blocks"));
    w.entries.push_back(typed("odd.exe", 0170644, "no such type"));
    w.entries.push_back(typed("plain.exe", 0100755, "program"));
    write(w);
    open();
    EXPECT_EQ(extract(), (QList<int>{19, 19}));
    EXPECT_EQ(
        QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                             QDir::Name),
        (QStringList{"blocks.exe", "chars.exe", "pipe.exe", "plain.exe", "socket.exe"}));
    for (const auto& [name, data, mode] : {std::tuple{"pipe.exe", "from a pipe", 0644u},
                                           {"socket.exe", "socket", 0755u},
                                           {"chars.exe", "chars", 0600u},
                                           {"blocks.exe", "blocks", 0644u},
                                           {"plain.exe", "program", 0755u}}) {
        EXPECT_TRUE(QFileInfo(base + '/' + name).isFile()) << name;
        EXPECT_EQ(readBytes(base + '/' + name), QByteArray(data)) << name;
        EXPECT_EQ(modeOf(base + '/' + name), 0100000u | mode) << name << " is a plain file";
    }
}

// Under a file-size limit the write fails like a full disk: the entry goes through the
// failure dialog, the process lives on, and no cut file stands under the entry's name.
TEST_F(ExtractSafety, FileSizeLimitFailsTheEntryAndLeavesNoCutFile) {
    ZipWriter w;
    w.entries.push_back({.name = "small.exe", .data = "fits"});
    w.entries.push_back({.name = "big.exe", .data = QByteArray(256 << 10, 'b')});
    write(w);
    const int code = exitCodeUnderFileSizeLimit(
        64 << 10,
        [&] {
            platform::ignoreFileSizeSignal();
            open();
            return extract() == QList<int>{65} ? 0 : 1;
        },
        false);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"small.exe"});
}

// The hostile case on a real machine: an unprivileged user owns the target (a shared folder)
// and plants links there while the installer extracts as root.
TEST_F(ExtractSafety, LinksPlantedByAnotherUserDoNotRedirectTheInstaller) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to act as two users";
    }
    ::chmod(QFile::encodeName(base).constData(), 0777);  // our folder, open to the other user
    const QByteArray planted = runAsOtherUser([&] {
        const bool ok = makeLink(outside, base + "/data") &&
                        makeLink(outside + "/victim.exe", base + "/app.exe");
        return ok ? QByteArray("planted") : QByteArray("failed");
    });
    ASSERT_EQ(planted, QByteArray("planted"));
    ZipWriter w;
    w.entries.push_back({.name = "app.exe", .data = "installed"});
    w.entries.push_back({.name = "data/x.sql", .data = "sql"});
    write(w);
    open();
    EXPECT_EQ(extract(), QList<int>{19});
    expectOutsideUntouched();
    EXPECT_EQ(readBytes(base + "/app.exe"), QByteArray("installed"));
    EXPECT_TRUE(S_ISLNK(modeOf(base + "/data")));
}

}  // namespace
