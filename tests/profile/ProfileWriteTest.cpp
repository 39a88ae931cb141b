#include "platform/CodePages.h"
#include "platform/FileOps.h"
#include "profile/IniFile.h"
#include "profile/PrivateProfile.h"

#include "support/FileSizeLimit.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

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
    EXPECT_EQ(file(),
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
    EXPECT_EQ(file(), "[SERVER]\nbaseurl=u\n");
    ini.WriteString("DEFINICE", "Produkt", "4");
    EXPECT_EQ(file(), "[SERVER]\nbaseurl=u\n[DEFINICE]\nProdukt=4\n");
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
    EXPECT_EQ(file(),
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
    EXPECT_TRUE(file().startsWith("\xEF\xBB\xBF[DEFINICE]\r\nk0="));
    for (int i = 0; i < values.size(); ++i) {
        EXPECT_EQ(ini.ReadString("DEFINICE", QStringLiteral("k%1").arg(i), "?"), values[i]) << i;
    }
}

TEST_F(ProfileWrite, EraseThenTwoWritesCreateTheFile) {
    TIniFile ini("C:\\s.kac");
    ini.EraseSection("DEFINICE");
    ini.WriteString("DEFINICE", "a", "1");
    ini.WriteString("DEFINICE", "b", "2");
    EXPECT_EQ(file(), "\xEF\xBB\xBF[DEFINICE]\r\na=1\r\nb=2\r\n");
}

TEST_F(ProfileWrite, FailuresNameTheFileAndChangeNothing) {
    TIniFile inMissingFolder("C:\\nowhere\\upgrade.kac");
    try {
        inMissingFolder.WriteString("DEFINICE", "a", "1");
        FAIL() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to write to C:\\nowhere\\upgrade.kac"));
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

TEST_F(ProfileWrite, FailingWriteLeavesTheOldFileByteIdentical) {
    QByteArray old = "[DEFINICE]\r\nProdukt=1\r\n";
    writeBytes(c + "/s.kac", old);
    const int code = selvanix::test::exitCodeUnderFileSizeLimit(64, [] {
        try {
            TIniFile("C:\\s.kac").WriteString("DEFINICE", "big", QString(500, u'x'));
        } catch (const EIniFileException& e) {
            return e.message() == QStringLiteral("Unable to write to C:\\s.kac") ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(file(), old);
    EXPECT_EQ(QDir(c).entryList(QDir::Files | QDir::Hidden), QStringList{"s.kac"});
}

}  // namespace
