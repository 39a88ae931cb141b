// Archives a careless or damaged tool left behind: everything they hold is extracted, as
// Info-ZIP unzip extracts it from the same bytes.
#include "ArchiveTesting.h"

#include "archive/Pakovna.h"
#include "platform/CodePages.h"

#include "support/ScriptedDialogs.h"
#include "support/TestDrives.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <map>

using namespace selvanix;
using namespace selvanix::test;

namespace {

using Tree = std::map<QString, QByteArray>;  // relative name ("x/" for a folder) -> bytes

Tree treeOf(const QString& folder) {
    Tree tree;
    const QDir root(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = root.relativeFilePath(path);
        if (QFileInfo(path).isDir()) {
            tree[name + u'/'] = QByteArray();
        } else {
            tree[name] = readBytes(path);
        }
    }
    return tree;
}

std::string describe(const Tree& tree) {
    std::string text;
    for (const auto& [name, bytes] : tree) {
        text += name.toStdString() + " (" + std::to_string(bytes.size()) + ") ";
    }
    return text;
}

std::uint16_t le16(const QByteArray& b, qsizetype at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}

class Recovery : public ::testing::Test {
protected:
    Recovery() { platform::setDialogs(dialogs); }
    ~Recovery() override { platform::setDialogs(nullptr); }

    // What the archiver extracts of the bytes with "*.*", every failure ignored.
    Tree ours(const QByteArray& bytes) {
        const QString archive = work.path() + "/ours.zip";
        writeBytes(archive, bytes);
        const QString out = work.path() + "/ours-" + QString::number(++runs_);
        QDir().mkpath(out);
        TPakovna arc;
        arc.OnProcessFileFailure = [](TPakovna&, const QString&, TArcProcessOperation, int, int,
                                      const QString&, TArcAction& action) { action = fxaIgnore; };
        arc.FileName = archive;
        arc.OpenArchive(0);
        arc.BaseDir = out;
        arc.ExtractFiles("*.*");
        arc.CloseArchive();
        return treeOf(out);
    }
    // What unzip extracts of the bytes.
    Tree unzip(const QByteArray& bytes) {
        const QString archive = work.path() + "/unzip.zip";
        writeBytes(archive, bytes);
        const QString out = work.path() + "/unzip-" + QString::number(++runs_);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8");  // so unzip writes UTF-8 names as they are
        p.setProcessEnvironment(env);
        p.start("unzip", {"-qo", archive, "-d", out});
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_LE(p.exitCode(), 2) << p.readAllStandardError().toStdString();
        return treeOf(out);
    }
    void expectSameAsUnzip(const QByteArray& bytes, const QByteArray& forUnzip, const char* what) {
        const Tree mine = ours(bytes);
        const Tree theirs = unzip(forUnzip);
        EXPECT_FALSE(theirs.empty()) << what;
        EXPECT_TRUE(mine == theirs)
            << what << "\n ours:  " << describe(mine) << "\n unzip: " << describe(theirs);
    }

    static ZipWriter sample() {
        ZipWriter w;
        w.entries.push_back({.name = "a.txt", .data = textBytes(3000)});
        w.entries.push_back({.name = "sub/b.bin", .data = randomBytes(5000), .method = 0});
        w.entries.push_back({.name = "empty.exe", .data = "", .method = 0});
        w.entries.push_back({.name = "dir/", .data = "", .method = 0, .externalAttr = 0x10});
        return w;
    }

    QTemporaryDir work;
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
    int runs_ = 0;
};

TEST_F(Recovery, StubsOfAnySizeWithAndWithoutAdjustedOffsets) {
    for (const int stubSize : {1, 6, 100, 3000}) {
        for (const bool adjusted : {false, true}) {
            ZipWriter w = sample();
            w.stub = QByteArray(stubSize, 'S');
            w.adjustOffsets = adjusted;
            const QByteArray bytes = w.build();
            const std::string what =
                std::to_string(stubSize) + (adjusted ? " adjusted" : " unadjusted");
            expectSameAsUnzip(bytes, bytes, what.c_str());
            EXPECT_EQ(ours(bytes).size(), 5u) << what;  // a.txt sub/ sub/b.bin empty.exe dir/
        }
    }
}

// The fuzzer's seed with a six-byte stub its offsets do not count.
TEST_F(Recovery, TheShortStubSeedExtractsWhole) {
    const QByteArray bytes = readBytes(QStringLiteral(SELVANIX_FUZZ_DIR "/seeds/stub.zip"));
    ASSERT_FALSE(bytes.isEmpty());
    expectSameAsUnzip(bytes, bytes, "stub.zip");
    EXPECT_GE(ours(bytes).size(), 4u);
}

// A sound archive whose directory lists an entry stored late before those stored early: its
// offsets are right and must not be moved.
TEST_F(Recovery, ADirectoryInAnotherOrderThanTheFile) {
    ZipWriter w;
    w.entries.push_back({.name = "first.txt", .data = "one", .method = 0});
    w.entries.push_back({.name = "second.txt", .data = "two", .method = 0});
    w.entries.push_back({.name = "third.exe", .data = "", .method = 0});
    QByteArray bytes = w.build();
    // Reverse the three directory records.
    const qsizetype start = bytes.indexOf(QByteArray("PK\x01\x02", 4));
    const qsizetype end = bytes.lastIndexOf(QByteArray("PK\x05\x06", 4));
    std::vector<QByteArray> records;
    for (qsizetype at = start; at < end;) {
        const qsizetype size =
            46 + le16(bytes, at + 28) + le16(bytes, at + 30) + le16(bytes, at + 32);
        records.push_back(bytes.mid(at, size));
        at += size;
    }
    ASSERT_EQ(records.size(), 3u);
    QByteArray reordered = bytes.left(start);
    for (auto r = records.rbegin(); r != records.rend(); ++r) {
        reordered += *r;
    }
    reordered += bytes.mid(end);
    expectSameAsUnzip(reordered, reordered, "reordered");
    EXPECT_EQ(ours(reordered).at("second.txt"), QByteArray("two"));
}

// Without a directory the archive is rebuilt from its local headers: an empty file stays a
// file, a UTF-8 name reads as UTF-8, and Zip64 sizes come from the local Zip64 block.
TEST_F(Recovery, RebuiltFromLocalHeadersAsUnzipReadsTheWholeArchive) {
    platform::setCodePages({1250, 852});
    ZipWriter w = sample();
    w.entries.push_back({.name = QStringLiteral("příliš žluťoučký.exe").toUtf8(),
                         .data = "utf8",
                         .flags = 0x0800,
                         .versionMadeBy = 0x031E});
    const QByteArray whole = w.build();
    const QByteArray cut = whole.left(whole.indexOf(QByteArray("PK\x01\x02", 4)));
    expectSameAsUnzip(cut, whole, "no directory");
    const Tree rebuilt = ours(cut);
    EXPECT_TRUE(rebuilt.count("empty.exe")) << describe(rebuilt);
    EXPECT_TRUE(rebuilt.count(QStringLiteral("příliš žluťoučký.exe"))) << describe(rebuilt);

    // zip -fz writes Zip64 blocks into the local headers.
    const QString src = work.path() + "/src";
    writeBytes(src + "/app.exe", textBytes(200000));
    writeBytes(src + "/lib/data.dll", randomBytes(70000));
    const QString made = work.path() + "/fz.zip";
    QProcess zip;
    zip.setWorkingDirectory(src);
    zip.start("zip", {"-qr", "-fz", made, "."});
    ASSERT_TRUE(zip.waitForFinished(30000));
    ASSERT_EQ(zip.exitCode(), 0);
    const QByteArray fz = readBytes(made);
    const QByteArray fzCut = fz.left(fz.indexOf(QByteArray("PK\x01\x02", 4)));
    expectSameAsUnzip(fzCut, fz, "zip -fz without its directory");
    platform::setCodePages({1252, 437});
}

TEST_F(Recovery, AFolderMarkedOnlyByItsAttributeIsMade) {
    ZipWriter w;
    w.entries.push_back({.name = "onlyattr", .data = "", .method = 0, .externalAttr = 0x10});
    w.entries.push_back({.name = "file.exe", .data = "x", .method = 0});
    const Tree tree = ours(w.build());
    EXPECT_TRUE(tree.count("onlyattr/")) << describe(tree);
    EXPECT_TRUE(tree.count("file.exe"));
}

// The local header is checked before an entry is decoded: an offset that points elsewhere
// fails that entry, never decoding other bytes as its data.
TEST_F(Recovery, AnOffsetThatMissesItsLocalHeaderFailsTheEntry) {
    ZipWriter w;
    w.entries.push_back({.name = "a.exe", .data = "aaaa", .method = 0});
    w.entries.push_back({.name = "b.exe", .data = "bbbb", .method = 0});
    QByteArray bytes = w.build();
    const qsizetype second =
        bytes.indexOf(QByteArray("PK\x01\x02", 4), bytes.indexOf("PK\x01\x02") + 4);
    bytes[second + 42] = static_cast<char>(bytes[second + 42] + 2);  // its offset, 2 bytes on
    TArcBaseArchiver arc;
    openBytes(arc, bytes);
    EXPECT_EQ(decode(arc, 0), QByteArray("aaaa"));
    EXPECT_EQ(nativeErrorOf([&] { decode(arc, 1); }), 8);
}

}  // namespace
