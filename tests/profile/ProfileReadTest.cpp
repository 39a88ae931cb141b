#include "platform/CodePages.h"
#include "profile/IniFile.h"
#include "profile/PrivateProfile.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace selvanix;
using selvanix::test::TestDrives;
using selvanix::test::utf16Bytes;
using selvanix::test::writeBytes;

namespace {

class ProfileRead : public ::testing::Test {
protected:
    void SetUp() override { platform::setCodePages({1250, 852}); }
    void TearDown() override { platform::setCodePages({1252, 437}); }

    // Writes the bytes as C:\p.ini and returns the section's lines.
    QStringList lines(const QByteArray& bytes, const QString& section = "DEFINICE") {
        writeBytes(c + "/p.ini", bytes);
        QStringList result{"stale"};
        TIniFile("C:\\p.ini").ReadSectionValues(section, result);
        return result;
    }
    QString value(const QString& section, const QString& key, const QString& def = "?") {
        return TIniFile("C:\\p.ini").ReadString(section, key, def);
    }

    TestDrives drives;
    QString c = drives.add(u'C');
};

TEST_F(ProfileRead, EncodingComesFromTheByteOrderMark) {
    const QString czech = QStringLiteral("Žluťoučký kůň");
    EXPECT_EQ(lines("[DEFINICE]\r\nnazev=\x8Elu\x9Do\x75\xE8k\xFD k\xF9\xF2\r\n"),
              QStringList{"nazev=" + czech});
    const QString text = "[DEFINICE]\r\nnazev=" + czech + "\r\n";
    EXPECT_EQ(lines(utf16Bytes(text, true)), QStringList{"nazev=" + czech});
    EXPECT_EQ(lines(utf16Bytes(text, false)), QStringList{"nazev=" + czech});
    EXPECT_EQ(lines("\xEF\xBB\xBF" + text.toUtf8()), QStringList{"nazev=" + czech});
    // Without a mark UTF-8 bytes are not guessed: they are read in the ANSI code page.
    EXPECT_EQ(lines("[DEFINICE]\nx=\xC5\xBE\n"), QStringList{QStringLiteral("x=Ĺľ")});
}

TEST_F(ProfileRead, EveryKindOfLineEnd) {
    EXPECT_EQ(lines("[DEFINICE]\na=1\rb=2\r\nc=3\n\rd=4"),
              (QStringList{"a=1", "b=2", "c=3", "d=4"}));
    EXPECT_EQ(lines("[DEFINICE]\ra=1"), QStringList{"a=1"});
}

TEST_F(ProfileRead, NulEndsOnlyTheNameOrValueItIsIn) {
    static const char bytes[] = "[DEFI\0x]\r\nke\0y=val\0ue\r\nnext=1\r\n";
    EXPECT_EQ(lines(QByteArray(bytes, sizeof bytes - 1), "DEFI"),
              (QStringList{"ke=val", "next=1"}));
    EXPECT_EQ(value("defi", "next"), QStringLiteral("1"));
}

TEST_F(ProfileRead, OddHeaders) {
    writeBytes(c + "/p.ini",
               "top=0\r\n"
               "  [ Sec One\t]trailing text\r\n"
               "a=1\r\n"
               "[broken\r\n"
               "b=2\r\n"
               "[x]y]\r\n"
               "c=3\r\n");
    QStringList l;
    TIniFile ini("C:\\p.ini");
    ini.ReadSectionValues("", l);
    EXPECT_EQ(l, QStringList{"top=0"});
    ini.ReadSectionValues("Sec One", l);
    EXPECT_EQ(l, (QStringList{"a=1", "b=2"}));  // the '[' line without ']' is skipped
    ini.ReadSectionValues("x]y", l);
    EXPECT_EQ(l, QStringList{"c=3"});
    ini.ReadSectionValues("broken", l);
    EXPECT_TRUE(l.isEmpty());
}

TEST_F(ProfileRead, KeyLines) {
    EXPECT_EQ(lines("[DEFINICE]\r\n"
                    " \tname \t= \t spaced value\t \r\n"
                    "dq=\"quoted\"\r\n"
                    "sq='single'\r\n"
                    "mixed=\"x'\r\n"
                    "one=\"\r\n"
                    "inner=\" a \"\r\n"
                    "eq=a=b=c\r\n"
                    "no equals sign\r\n"
                    ";comment=1\r\n"
                    "#hash=1\r\n"
                    "semi=v ;not a comment\r\n"
                    "=nokey\r\n"
                    "empty=\r\n"
                    "nbsp=\xA0v\xA0\r\n"),
              (QStringList{"name=spaced value", "dq=quoted", "sq=single", "mixed=\"x'", "one=\"",
                           "inner= a ", "eq=a=b=c", "#hash=1", "semi=v ;not a comment",
                           "empty=", QStringLiteral("nbsp=\u00A0v\u00A0")}));
    EXPECT_EQ(value("DEFINICE", "no equals sign"), QStringLiteral("?"));
    // A comment or a line without a key is hidden from the list only.
    EXPECT_EQ(value("DEFINICE", ";comment"), QStringLiteral("1"));
    EXPECT_EQ(value("DEFINICE", ""), QStringLiteral("nokey"));
}

TEST_F(ProfileRead, SectionListAndLookupsAsTheSystemDoesThem) {
    writeBytes(c + "/p.ini",
               "[A]\r\nk=1\r\n"
               "[]\r\nhidden=1\r\n"
               "[ ]\r\n"
               "[B]\r\nk=2\r\n"
               "[a]\r\nk=3\r\n");
    QChar buffer[64];
    const int n =
        GetPrivateProfileStringW(std::nullopt, std::nullopt, std::nullopt, buffer, 64, "C:\\p.ini");
    // A repeated header is named each time; empty headers are not named at all.
    EXPECT_EQ(QString(buffer, n + 1), QString::fromUtf16(u"A\0B\0a\0\0", 7));
    EXPECT_EQ(value("a", "k"), QStringLiteral("1"));  // reads take the first occurrence

    // Names given to a read are trimmed; the key list of an untrimmed section is empty.
    EXPECT_EQ(value(" \tB ", "  k\t"), QStringLiteral("2"));
    EXPECT_EQ(GetPrivateProfileStringW(QString(" B "), std::nullopt, std::nullopt, buffer, 64,
                                       "C:\\p.ini"),
              0);

    // The default is treated like a stored value: right-trimmed and unquoted.
    EXPECT_EQ(value("A", "missing", "  \"d e f\"  \t"), QStringLiteral("  \"d e f\""));
    EXPECT_EQ(value("A", "missing", "\"d e f\"  \t"), QStringLiteral("d e f"));
    EXPECT_EQ(value("A", "missing", "'x'"), QStringLiteral("x"));
}

TEST_F(ProfileRead, NamesIgnoreAsciiCaseAndFirstOccurrencesWin) {
    EXPECT_EQ(lines("[definice]\r\nKey=1\r\nkey=2\r\nOther=3\r\n[DEFINICE]\r\nlate=4\r\n"),
              (QStringList{"Key=1", "key=1", "Other=3"}));
    EXPECT_EQ(value("Definice", "KEY"), QStringLiteral("1"));
    EXPECT_EQ(value("DEFINICE", "late"), QStringLiteral("?"));
    // Only ASCII letters fold.
    writeBytes(c + "/p.ini", "[S]\r\n\xC8\x41=1\r\n");  // "ČA" in 1250
    EXPECT_EQ(value("s", QStringLiteral("Ča")), QStringLiteral("1"));
    EXPECT_EQ(value("s", QStringLiteral("ča")), QStringLiteral("?"));
}

TEST_F(ProfileRead, MissingFileGivesEmptyListsAndDefaults) {
    QStringList l{"stale"};
    TIniFile ini("C:\\none\\upgrade.kac");
    ini.ReadSectionValues("DEFINICE", l);
    EXPECT_TRUE(l.isEmpty());
    EXPECT_EQ(ini.ReadString("DEFINICE", "x", "def"), QStringLiteral("def"));
    TIniFile here("C:\\upgrade.kac");
    here.ReadSectionValues("DEFINICE", l);
    EXPECT_FALSE(QFile::exists(c + "/upgrade.kac"));
    EXPECT_FALSE(QFile::exists(c + "/none"));
}

TEST_F(ProfileRead, LongValueIsCutTo2047Units) {
    const QString longValue(3000, u'v');
    EXPECT_EQ(lines("[DEFINICE]\r\nlong=" + longValue.toLatin1() + "\r\n"),
              QStringList{"long=" + longValue.left(2047)});
}

TEST_F(ProfileRead, KeyListsOfAnyLength) {
    // Key lists that fill the first buffer up to, exactly at and beyond its limit.
    for (const int units : {1021, 1022, 1023, 1024, 4094, 20000}) {
        QByteArray bytes = "[DEFINICE]\r\n";
        QStringList expected;
        int used = 0;
        for (int i = 0; used < units; ++i) {
            // Names of 9 units plus their NUL; the last one takes what is left.
            const int length = std::min(9, units - used - 1);
            const QString key = QString::number(i).rightJustified(std::max(length, 1), u'k');
            used += static_cast<int>(key.size()) + 1;
            bytes += key.toLatin1() + "=" + QByteArray::number(i) + "\r\n";
            expected << key + "=" + QString::number(i);
        }
        EXPECT_EQ(lines(bytes), expected) << units;
    }
}

TEST_F(ProfileRead, KeyListBufferSemantics) {
    writeBytes(c + "/p.ini", "[S]\r\nabc=1\r\nde=2\r\n");
    QChar buffer[16];
    EXPECT_EQ(
        GetPrivateProfileStringW(QString("S"), std::nullopt, std::nullopt, buffer, 16, "C:\\p.ini"),
        7);
    EXPECT_EQ(QString(buffer, 8), QString::fromUtf16(u"abc\0de\0\0", 8));
    // Too small: the count is size - 2.
    EXPECT_EQ(
        GetPrivateProfileStringW(QString("S"), std::nullopt, std::nullopt, buffer, 6, "C:\\p.ini"),
        4);
    // A list that reaches size - 2 units counts as cut too, even where it would just fit
    // with its closing NUL; two units more room and it fits.
    EXPECT_EQ(
        GetPrivateProfileStringW(QString("S"), std::nullopt, std::nullopt, buffer, 8, "C:\\p.ini"),
        6);
    EXPECT_EQ(QString(buffer, 8), QString::fromUtf16(u"abc\0de\0\0", 8));
    EXPECT_EQ(
        GetPrivateProfileStringW(QString("S"), std::nullopt, std::nullopt, buffer, 10, "C:\\p.ini"),
        7);
    EXPECT_EQ(GetPrivateProfileStringW(QString("S"), QString("abc"), std::nullopt, buffer, 2,
                                       "C:\\p.ini"),
              1);
    EXPECT_EQ(buffer[0], u'1');
}

}  // namespace
