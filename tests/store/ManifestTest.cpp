// The record a target keeps of its package: read back exactly, never through a link, never
// trusted when cut, damaged or not matching the files.
#include "store/Manifest.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>

namespace selvanix::test {
namespace {

Manifest sample() {
    Manifest m;
    m.stem = QStringLiteral("brodelik");
    m.name = QStringLiteral("Brodělík");
    m.version = QStringLiteral("14,20");
    m.date = QStringLiteral("12.5.2023");
    m.sha256 = QByteArray(64, 'a');
    m.files = {{QStringLiteral("brodelik.exe"), 5, 0x3610a686},
               {QStringLiteral("pts/reports/my list.fr3"), 0, 0}};
    return m;
}

TEST(Manifest, TextRoundTripsAndDamageIsRefused) {
    const Manifest m = sample();
    const std::optional<Manifest> back = Manifest::fromText(m.toText());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, m.name);
    EXPECT_EQ(back->files, m.files);
    EXPECT_TRUE(back->samePackage(m));

    const QByteArray text = m.toText();
    EXPECT_FALSE(Manifest::fromText(text.left(text.size() - 3))) << "cut short";
    EXPECT_FALSE(Manifest::fromText(QByteArray(text).replace("selvanix-manifest 1", "other")));
    EXPECT_FALSE(Manifest::fromText(QByteArray(text).replace("brodelik.exe", "../evil")));
    EXPECT_FALSE(Manifest::fromText(QByteArray(text).replace("brodelik.exe", "/etc/passwd")));
    EXPECT_FALSE(Manifest::fromText(QByteArray(text).replace("3610a686", "zz10a686")));

    // A line break in a descriptor value cannot forge a record line.
    Manifest forged = m;
    forged.version = QStringLiteral("1\nfile 00000000 0 ../x");
    const std::optional<Manifest> read = Manifest::fromText(forged.toText());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->files.size(), 2u);

    Manifest other = m;
    other.sha256 = QByteArray(64, 'b');
    EXPECT_FALSE(other.samePackage(m));
    other = m;
    other.sha256.clear();
    EXPECT_FALSE(other.samePackage(other)) << "no archive hash is never the same package";
}

TEST(Manifest, ReadFromTheTargetsHandleOnlyAndMatchedAgainstTheFiles) {
    QTemporaryDir dir;
    const QString t = dir.path();
    const auto folder = platform::FolderHandle::open(t);
    ASSERT_TRUE(folder);
    EXPECT_FALSE(readManifest(*folder)) << "no record yet";

    writeBytes(t + "/brodelik.exe", "hello");
    QDir().mkpath(t + "/pts/reports");
    writeBytes(t + "/pts/reports/my list.fr3", "");
    ASSERT_TRUE(writeManifest(*folder, sample()));
    const std::optional<Manifest> read = readManifest(*folder);
    ASSERT_TRUE(read);
    EXPECT_TRUE(filesMatch(*folder, *read));
    EXPECT_EQ(QDir(t + "/.selvanix").entryList(QDir::Files | QDir::Hidden), QStringList{"manifest"})
        << "nothing but the record";

    writeBytes(t + "/brodelik.exe", "jello");  // same size, other bytes
    EXPECT_FALSE(filesMatch(*folder, *read));
    writeBytes(t + "/brodelik.exe", "hello");
    QFile::remove(t + "/pts/reports/my list.fr3");
    EXPECT_FALSE(filesMatch(*folder, *read));
    writeBytes(t + "/pts/reports/my list.fr3", "");
    // A file replaced by a link to identical bytes elsewhere is not the installed file.
    QTemporaryDir elsewhere;
    writeBytes(elsewhere.path() + "/copy", "hello");
    QFile::remove(t + "/brodelik.exe");
    ASSERT_TRUE(QFile::link(elsewhere.path() + "/copy", t + "/brodelik.exe"));
    EXPECT_FALSE(filesMatch(*folder, *read));

    // A record planted as a link, or too large, is no record.
    writeBytes(elsewhere.path() + "/manifest", sample().toText());
    QFile::remove(t + "/.selvanix/manifest");
    ASSERT_TRUE(QFile::link(elsewhere.path() + "/manifest", t + "/.selvanix/manifest"));
    EXPECT_FALSE(readManifest(*folder));
    QFile::remove(t + "/.selvanix/manifest");
    writeBytes(t + "/.selvanix/manifest", sample().toText() + QByteArray(kMaxManifestBytes, 'x'));
    EXPECT_FALSE(readManifest(*folder));
    removeManifest(*folder);
    EXPECT_FALSE(QFileInfo::exists(t + "/.selvanix/manifest"));
}

// A record lies in a folder another user may write and root reads it: no mutation of a good
// one may crash the reader or slip a path past the entry-name checks.
TEST(Manifest, DamagedRecordsNeverYieldAPathOutsideTheTarget) {
    const QByteArray good = sample().toText();
    const QByteArray pieces[] = {"../", "/", "\\", ".selvanix/", "\n", " ", QByteArray("\0", 1),
                                 "./",  "//"};
    std::mt19937 random(20261209);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray text = good;
        for (int edits = 1 + static_cast<int>(random() % 4); edits > 0; --edits) {
            const auto at = static_cast<qsizetype>(random() % static_cast<unsigned>(text.size()));
            switch (random() % 3) {
                case 0:
                    text[at] = static_cast<char>(random() % 256);
                    break;
                case 1:
                    text.insert(at, pieces[random() % std::size(pieces)]);
                    break;
                default:
                    text.remove(at, 1 + static_cast<qsizetype>(random() % 8));
                    break;
            }
        }
        const std::optional<Manifest> read = Manifest::fromText(text);
        if (!read) {
            continue;
        }
        ++accepted;
        for (const Manifest::Entry& e : read->files) {
            const QStringList parts = e.path.split(u'/');
            EXPECT_FALSE(parts.contains(QStringLiteral("..")) || parts.contains(QString()) ||
                         parts.contains(QStringLiteral(".")) || e.path.contains(u'\\') ||
                         parts.first() == QLatin1String(".selvanix"))
                << e.path.toStdString();
        }
    }
    EXPECT_GT(accepted, 0) << "the mutations must leave some records readable";
}

}  // namespace
}  // namespace selvanix::test
