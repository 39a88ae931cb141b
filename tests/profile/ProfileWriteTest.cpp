#include "platform/CodePages.h"
#include "platform/FileOps.h"
#include "profile/IniFile.h"
#include "profile/PrivateProfile.h"

#include "support/FileSizeLimit.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <cstdlib>

using namespace selvanix;
using selvanix::test::readBytes;
using selvanix::test::TestDrives;
using selvanix::test::utf16Bytes;
using selvanix::test::writeBytes;

namespace {

class ProfileWrite : public ::testing::Test {
protected:
    void SetUp() override { platform::setCodePages({1250, 852}); }
    void TearDown() override { platform::setCodePages({1252, 437}); }

    QByteArray file() const { return readBytes(c + "/s.kac"); }
    // The file once its pending changes are written.
    QByteArray flushed() const {
        WritePrivateProfileStringW(std::nullopt, std::nullopt, std::nullopt, "C:\\s.kac");
        return file();
    }

    TestDrives drives;
    QString c = drives.add(u'C');
};

TEST_F(ProfileWrite, ExistingKeysStayNewKeysFollowTheirSection) {
    writeBytes(c + "/s.kac",
               "; settings\r\n"
               "[DEFINICE]\r\n"
               "Produkt=1\r\n"
               "  zdroj = 2 \r\n"
               "\r\n"
               "[SERVER]\r\n"
               "baseurl=http://x/\r\n");
    TIniFile ini("C:\\s.kac");
    ini.WriteString("DEFINICE", "ZDROJ", "1");
    ini.WriteString("definice", "nova", "ano");
    ini.WriteString("NEW", "k", "v");
    EXPECT_EQ(flushed(),
              "; settings\r\n"
              "[DEFINICE]\r\n"
              "Produkt=1\r\n"
              "zdroj=1\r\n"
              "nova=ano\r\n"
              "\r\n"
              "[SERVER]\r\n"
              "baseurl=http://x/\r\n"
              "[NEW]\r\n"
              "k=v\r\n");
}

TEST_F(ProfileWrite, EraseRemovesEveryOccurrenceAndKeepsTheRest) {
    writeBytes(c + "/s.kac",
               "[DEFINICE]\nProdukt=1\n;note\n[SERVER]\nbaseurl=u\n[definice]\nold=2\n");
    TIniFile ini("C:\\s.kac");
    ini.EraseSection("DEFINICE");
    EXPECT_EQ(flushed(), "[SERVER]\nbaseurl=u\n");
    ini.WriteString("DEFINICE", "Produkt", "4");
    EXPECT_EQ(flushed(), "[SERVER]\nbaseurl=u\n[DEFINICE]\nProdukt=4\n");
}

TEST_F(ProfileWrite, EraseOfNothingWritesNothing) {
    TIniFile missing("C:\\s.kac");
    missing.EraseSection("DEFINICE");
    EXPECT_FALSE(QFile::exists(c + "/s.kac"));
    // In a folder that does not exist, erasing fails as writing there does.
    TIniFile missingFolder("C:\\nowhere\\s.kac");
    EXPECT_THROW(missingFolder.EraseSection("DEFINICE"), EIniFileException);
    platform::setLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringW(QString("DEFINICE"), QString("k"), std::nullopt,
                                            "C:\\nowhere\\s.kac"));
    EXPECT_EQ(platform::lastError(), 3);
    EXPECT_FALSE(QDir(c + "/nowhere").exists());

    writeBytes(c + "/s.kac", "[SERVER]\nbaseurl=u");
    const QDateTime before = QFileInfo(c + "/s.kac").lastModified();
    QThread::msleep(20);
    missing.EraseSection("DEFINICE");
    EXPECT_EQ(file(), "[SERVER]\nbaseurl=u");
    EXPECT_EQ(QFileInfo(c + "/s.kac").lastModified(), before);
}

TEST_F(ProfileWrite, EncodingAndLineEndsAreKept) {
    // UTF-16LE with LF ends and no final line end.
    writeBytes(c + "/s.kac", utf16Bytes(QStringLiteral("[A]\nk=ž"), true));
    TIniFile("C:\\s.kac").WriteString("A", "n", QStringLiteral("ř"));
    EXPECT_EQ(file(), utf16Bytes(QStringLiteral("[A]\nk=ž\nn=ř\n"), true));

    // ANSI 1250 with lone CR ends stays ANSI while the code page holds the text.
    writeBytes(c + "/s.kac", "[A]\rk=\x9E\r");
    TIniFile("C:\\s.kac").WriteString("A", "n", QStringLiteral("ř"));
    EXPECT_EQ(file(), "[A]\rk=\x9E\rn=\xF8\r");
}

TEST_F(ProfileWrite, AnsiFileThatCannotHoldANewLetterBecomesUtf8) {
    writeBytes(c + "/s.kac", "[A]\r\nk=\x9E\r\n");
    TIniFile ini("C:\\s.kac");
    ini.WriteString("A", "ru", QStringLiteral("Жук"));
    EXPECT_EQ(flushed(),
              QByteArray("\xEF\xBB\xBF") + QStringLiteral("[A]\r\nk=ž\r\nru=Жук\r\n").toUtf8());
    EXPECT_EQ(ini.ReadString("A", "k", ""), QStringLiteral("ž"));
    EXPECT_EQ(ini.ReadString("A", "ru", ""), QStringLiteral("Жук"));
}

TEST_F(ProfileWrite, NewFileIsUtf8WithBomAndReadsBackUnchanged) {
    TIniFile ini("C:\\s.kac");
    const QStringList values{QStringLiteral("Cílový adresář"),
                             QStringLiteral("日本語"),
                             QStringLiteral("emoji \U0001F600"),
                             "  padded  ",
                             "\"quoted\"",
                             "'single'",
                             "\t",
                             "",
                             "a=b",
                             "; not a comment",
                             "[x]"};
    for (int i = 0; i < values.size(); ++i) {
        ini.WriteString("DEFINICE", QStringLiteral("k%1").arg(i), values[i]);
    }
    EXPECT_TRUE(flushed().startsWith("\xEF\xBB\xBF[DEFINICE]\r\nk0="));
    for (int i = 0; i < values.size(); ++i) {
        EXPECT_EQ(ini.ReadString("DEFINICE", QStringLiteral("k%1").arg(i), "?"), values[i]) << i;
    }
}

TEST_F(ProfileWrite, EraseThenTwoWritesCreateTheFile) {
    TIniFile ini("C:\\s.kac");
    ini.EraseSection("DEFINICE");
    ini.WriteString("DEFINICE", "a", "1");
    ini.WriteString("DEFINICE", "b", "2");
    EXPECT_EQ(flushed(), "\xEF\xBB\xBF[DEFINICE]\r\na=1\r\nb=2\r\n");
}

TEST_F(ProfileWrite, FailuresNameTheFileAndChangeNothing) {
    TIniFile inMissingFolder("C:\\nowhere\\upgrade.kac");
    try {
        inMissingFolder.WriteString("DEFINICE", "a", "1");
        FAIL() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to write to C:\\nowhere\\upgrade.kac"));
    }
    TIniFile hostPath(c + "/nowhere\\upgrade.kac");
    try {
        hostPath.WriteString("DEFINICE", "a", "1");
        FAIL() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to write to %1/nowhere/upgrade.kac").arg(c));
    }
    EXPECT_FALSE(QDir(c + "/nowhere").exists());

    writeBytes(c + "/s.kac", "[A]\r\nk=1\r\n");
    ::chmod(QFile::encodeName(c + "/s.kac").constData(), 0444);
    TIniFile readOnly("C:\\s.kac");
    EXPECT_THROW(readOnly.WriteString("A", "k", "2"), EIniFileException);
    EXPECT_THROW(readOnly.EraseSection("A"), EIniFileException);
    ::chmod(QFile::encodeName(c + "/s.kac").constData(), 0644);
    EXPECT_EQ(file(), "[A]\r\nk=1\r\n");

    // A value that would break its line is refused rather than written half.
    TIniFile ini("C:\\s.kac");
    EXPECT_THROW(ini.WriteString("A", "k", "two\r\n[B]\r\nlines"), EIniFileException);
    EXPECT_THROW(ini.WriteString("A", "a=b", "1"), EIniFileException);
    EXPECT_EQ(file(), "[A]\r\nk=1\r\n");

    QDir().mkpath(c + "/folder.kac");
    EXPECT_THROW(TIniFile("C:\\folder.kac").WriteString("A", "k", "1"), EIniFileException);
}

TEST_F(ProfileWrite, KeyNamesAreTrimmedAsReadsTrimThem) {
    TIniFile ini("C:\\s.kac");
    ini.WriteString("A", " klic s mezerami ", "1");
    EXPECT_EQ(flushed(), "\xEF\xBB\xBF[A]\r\nklic s mezerami=1\r\n");
    EXPECT_EQ(ini.ReadString("A", "klic s mezerami", "none"), QStringLiteral("1"));
    EXPECT_EQ(ini.ReadString("A", "\tklic s mezerami  ", "none"), QStringLiteral("1"));
    EXPECT_THROW(ini.WriteString("A", "   ", "1"), EIniFileException);
}

// A file beyond the bound is not parsed: reads give their defaults, and a write fails and
// leaves it as it was, so a settings file with its server section is never cut to a stub.
TEST_F(ProfileWrite, AnOversizedFileReadsAsDefaultsAndRefusesWrites) {
    const QByteArray big = "[SERVER]\r\nbaseurl=https://kept/\r\n[DEFINICE]\r\nprogram=2\r\n" +
                           QByteArray(kMaxProfileBytes, ';') + "\r\n";
    writeBytes(c + "/s.kac", big);
    TIniFile ini("C:\\s.kac");
    EXPECT_EQ(ini.ReadString("DEFINICE", "program", "default"), QStringLiteral("default"));
    try {
        ini.WriteString("DEFINICE", "program", "1");
        FAIL() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to write to C:\\s.kac"));
    }
    EXPECT_EQ(flushed(), big);
    // Right at the bound it is still a profile file.
    QByteArray fits = "[DEFINICE]\r\nprogram=2\r\n";
    fits += QByteArray(kMaxProfileBytes - fits.size() - 2, ';') + "\r\n";
    ASSERT_EQ(fits.size(), kMaxProfileBytes);
    writeBytes(c + "/s.kac", fits);
    EXPECT_EQ(TIniFile("C:\\s.kac").ReadString("DEFINICE", "program", "default"),
              QStringLiteral("2"));
}

TEST_F(ProfileWrite, FailingWriteLeavesTheOldFileByteIdentical) {
    QByteArray old = "[DEFINICE]\r\nProdukt=1\r\n";
    writeBytes(c + "/s.kac", old);
    const int code = selvanix::test::exitCodeUnderFileSizeLimit(64, [] {
        TIniFile ini("C:\\s.kac");
        ini.WriteString("DEFINICE", "big", QString(500, u'x'));
        // The change is written at the flush, and that is where it fails.
        return WritePrivateProfileStringW(std::nullopt, std::nullopt, std::nullopt, "C:\\s.kac")
                   ? 1
                   : 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(file(), old);
    EXPECT_EQ(QDir(c).entryList(QDir::Files | QDir::Hidden), QStringList{"s.kac"});
}

// Changes stay pending until a flush, another file or the end of the program: a save of many
// keys is one rewrite, and reads see what is pending.
TEST_F(ProfileWrite, ChangesArePendingUntilFlushedAndReadsSeeThem) {
    writeBytes(c + "/s.kac", "[DEFINICE]\r\nold=1\r\n");
    {
        TIniFile ini("C:\\s.kac");
        ini.WriteString("DEFINICE", "a", "1");
        ini.WriteString("DEFINICE", "b", "2");
        EXPECT_EQ(file(), "[DEFINICE]\r\nold=1\r\n");  // nothing written yet
        EXPECT_EQ(ini.ReadString("DEFINICE", "b", "?"), QStringLiteral("2"));
        QStringList keys;
        ini.ReadSection("DEFINICE", keys);
        EXPECT_EQ(keys, (QStringList{"old", "a", "b"}));
    }  // release flushes
    EXPECT_EQ(file(), "[DEFINICE]\r\nold=1\r\na=1\r\nb=2\r\n");

    // Using another file writes what was pending first.
    TIniFile first("C:\\s.kac");
    first.WriteString("DEFINICE", "c", "3");
    EXPECT_EQ(TIniFile("C:\\other.kac").ReadString("X", "y", "none"), QStringLiteral("none"));
    EXPECT_TRUE(file().contains("c=3"));
}

TEST_F(ProfileWrite, AFlushWithNothingChangedWritesNothing) {
    writeBytes(c + "/s.kac", "[DEFINICE]\r\na=1\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(c + "/s.kac").constData(), &before), 0);
    {
        TIniFile ini("C:\\s.kac");
        ini.WriteString("DEFINICE", "a", "1");  // what the file says already
        ini.EraseSection("NOTHERE");
    }
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(c + "/s.kac").constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);  // not even rewritten with the same bytes
}

// A program that dies before the flush leaves the previous file as it was; one that ends
// normally writes what was pending.
TEST_F(ProfileWrite, ACrashBeforeTheFlushLeavesThePreviousFile) {
    writeBytes(c + "/s.kac", "[DEFINICE]\r\na=1\r\n");
    for (const bool crash : {true, false}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            static TIniFile* kept = new TIniFile("C:\\s.kac");  // never released
            kept->WriteString("DEFINICE", "a", crash ? "crashed" : "ended");
            if (crash) {
                ::kill(::getpid(), SIGKILL);
            }
            std::exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(file(), crash ? QByteArray("[DEFINICE]\r\na=1\r\n")
                                : QByteArray("[DEFINICE]\r\na=ended\r\n"));
    }
}

}  // namespace
