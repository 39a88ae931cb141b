// Archives made by the system's zip and 7z tools.
#include "ArchiveTesting.h"

#include "support/ScriptedDialogs.h"
#include "support/TestDrives.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using namespace selvanix;
using namespace selvanix::test;

namespace {

class Interop : public ::testing::Test {
protected:
    Interop() {
        platform::setDialogs(dialogs);
        writeBytes(dir.path() + "/src/app.exe", textBytes(300000));
        writeBytes(dir.path() + "/src/lib/data.dll", randomBytes(200000));
        writeBytes(dir.path() + "/src/empty.sql", QByteArray());
    }
    ~Interop() override { platform::setDialogs(nullptr); }

    // Runs a tool in the source folder; the archive is dir/out.zip.
    QString make(const QString& program, QStringList arguments) {
        const QString archive = dir.path() + "/out.zip";
        QFile::remove(archive);
        QProcess p;
        p.setWorkingDirectory(dir.path() + "/src");
        p.start(program, arguments.replaceInStrings("OUT", archive));
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return archive;
    }

    // Decodes every entry and compares it with the source file of its name.
    void expectAllDecode(TArcBaseArchiver& arc) {
        int files = 0;
        for (int i = 0; i < arc.directory().Count(); ++i) {
            const TDirItem& item = arc.directory().Item(i);
            if (item.isFolder()) {
                continue;
            }
            EXPECT_EQ(decode(arc, i), readBytes(dir.path() + "/src/" + item.Name))
                << item.Name.toStdString();
            ++files;
        }
        EXPECT_EQ(files, 3);
    }

    void open(TArcBaseArchiver& arc, const QString& path) {
        auto stream = ArchiveStream::open(path);
        ASSERT_TRUE(stream.has_value());
        arc.openStream(std::move(*stream));
    }

    QTemporaryDir dir;
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
};

TEST_F(Interop, InfoZipPlainAndZip64) {
    for (const QStringList& args :
         {QStringList{"-qr", "OUT", "."}, QStringList{"-qr", "-fz", "OUT", "."},
          QStringList{"-qr", "-0", "OUT", "."}}) {
        TArcBaseArchiver arc;
        open(arc, make("zip", args));
        expectAllDecode(arc);
        EXPECT_EQ(arc.directory().FZip64, args.contains("-fz"));
    }
}

TEST_F(Interop, InfoZipTraditionalEncryption) {
    TArcBaseArchiver arc;
    open(arc, make("zip", {"-qr", "-P", "heslo", "OUT", "."}));
    dialogs->passwordAnswers = {QString("heslo")};
    expectAllDecode(arc);
    EXPECT_EQ(dialogs->calls.size(), 1u);
}

TEST_F(Interop, SevenZipAes) {
    for (const char* method : {"-mem=AES128", "-mem=AES256"}) {
        TArcBaseArchiver arc;
        open(arc, make("7z", {"a", "-tzip", "-bd", "-phesloAES", method, "OUT", "."}));
        dialogs->passwordAnswers = {QString("bad"), QString("hesloAES")};
        expectAllDecode(arc);
        for (int i = 0; i < arc.directory().Count(); ++i) {
            if (arc.directory().Item(i).encrypted()) {
                EXPECT_EQ(arc.directory().Item(i).ArcEncryptionAlgorithm,
                          QByteArray(method).contains("128") ? 1 : 3);
            }
        }
    }
}

TEST_F(Interop, SevenZipAesWithAWrongCode) {
    const QString path = make("7z", {"a", "-tzip", "-bd", "-pk", "-mem=AES256", "OUT", "app.exe"});
    QByteArray bytes = readBytes(path);
    // Flip one byte of the authentication code just before the central directory.
    const qsizetype dir = bytes.indexOf(QByteArray("PK\x01\x02", 4));
    bytes[dir - 1] = static_cast<char>(bytes[dir - 1] ^ 1);
    TArcBaseArchiver arc;
    openBytes(arc, bytes);
    arc.Password = "k";
    EXPECT_EQ(nativeErrorOf([&] { decode(arc, 0); }), 8);
}

// AE-1 keeps a CRC-32 that must match as well as the code; AE-2 leaves it 0 and unused.
TEST_F(Interop, SevenZipAesCrcCountsForAe1Only) {
    QByteArray bytes =
        readBytes(make("7z", {"a", "-tzip", "-bd", "-pk", "-mem=AES256", "OUT", "app.exe"}));
    const qsizetype dir = bytes.indexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(dir, 0);
    const auto le16 = [&](qsizetype at) {
        return static_cast<unsigned char>(bytes[at]) |
               (static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    const qsizetype extra = dir + 46 + le16(dir + 28);
    const qsizetype aes = bytes.indexOf(QByteArray("\x01\x99", 2), extra);
    ASSERT_GT(aes, 0);
    bytes[dir + 16] = static_cast<char>(bytes[dir + 16] ^ 0x55);  // the directory's CRC-32
    for (const int version : {1, 2}) {
        bytes[aes + 4] = static_cast<char>(version);
        TArcBaseArchiver arc;
        openBytes(arc, bytes);
        ASSERT_EQ(arc.directory().Item(0).AesVersion, version);
        arc.Password = "k";
        EXPECT_EQ(nativeErrorOf([&] { decode(arc, 0); }), version == 1 ? 8 : 0) << version;
    }
}

TEST_F(Interop, SevenZipDeflate64IsRefused) {
    TArcBaseArchiver arc;
    open(arc, make("7z", {"a", "-tzip", "-bd", "-mm=Deflate64", "OUT", "app.exe"}));
    EXPECT_EQ(nativeErrorOf([&] { decode(arc, 0); }), 55);
}

}  // namespace
