#include "platform/CodePages.h"

#include <gtest/gtest.h>

using namespace selvanix::platform;

namespace {

// "Žluťoučký kůň" in code page 1250 and in 852.
const QString kCzech = QStringLiteral("Žluťoučký kůň");
const QByteArray kCzech1250("\x8Elu\x9Do\x75\xE8k\xFD k\xF9\xF2");
const QByteArray kCzech852("\xA6lu\x9Co\x75\x9Fk\xEC k\x85\xE5");

TEST(CodePages, LocalesChooseWindowsPairs) {
    const auto check = [](const char* locale, int ansi, int oem) {
        const CodePagePair p = codePagesForLocale(QString::fromLatin1(locale));
        EXPECT_EQ(p.ansi, ansi) << locale;
        EXPECT_EQ(p.oem, oem) << locale;
    };
    check("en_US.UTF-8", 1252, 437);
    check("de_DE.UTF-8", 1252, 850);
    check("fr_FR", 1252, 850);
    check("cs_CZ.UTF-8", 1250, 852);
    check("sk_SK.ISO-8859-2", 1250, 852);
    check("ru_RU.UTF-8", 1251, 866);
    check("C", 1252, 437);
    check("POSIX", 1252, 437);
    check("", 1252, 437);
    check("C.UTF-8", 1252, 437);
}

TEST(CodePages, CzechLettersRoundTripIn1250And852) {
    EXPECT_EQ(codePageToText(kCzech1250, 1250), kCzech);
    EXPECT_EQ(codePageToText(kCzech852, 852), kCzech);
    bool lossless = false;
    EXPECT_EQ(textToCodePage(kCzech, 1250, &lossless), kCzech1250);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(textToCodePage(kCzech, 852, &lossless), kCzech852);
    EXPECT_TRUE(lossless);
}

TEST(CodePages, OemToAnsiFollowsTheProcessPages) {
    setCodePages({1250, 852});
    EXPECT_EQ(oemToAnsi(kCzech852), kCzech1250);
    EXPECT_EQ(ansiToText(kCzech1250), kCzech);
    setCodePages({1252, 437});
    // 0x82 is 'é' in 437 and in 1252 that letter is 0xE9.
    EXPECT_EQ(oemToAnsi("caf\x82"), QByteArray("caf\xE9"));
}

TEST(CodePages, LettersOutsideTheCodePageAreReported) {
    bool lossless = true;
    EXPECT_EQ(textToCodePage(QStringLiteral("a\u0159b"), 1252, &lossless), QByteArray("a?b"));
    EXPECT_FALSE(lossless);
    // A character beyond the basic plane is one '?', not two.
    EXPECT_EQ(textToCodePage(QStringLiteral("x\U0001F600y"), 1250, &lossless), QByteArray("x?y"));
    EXPECT_FALSE(lossless);
}

TEST(CodePages, UndefinedBytesKeepTheirValue) {
    // 0x81 has no character in 1252.
    EXPECT_EQ(codePageToText(QByteArray("a\x81z"), 1252), QStringLiteral("a\u0081z"));
}

TEST(CodePages, Utf8NameTest) {
    EXPECT_FALSE(isUtf8Name("plain.txt"));  // nothing above 0x7F
    EXPECT_TRUE(isUtf8Name(QStringLiteral("kůň.txt").toUtf8()));
    EXPECT_TRUE(isUtf8Name("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isUtf8Name(kCzech852));   // OEM bytes
    EXPECT_FALSE(isUtf8Name("\xC0\xAF"));  // overlong lead byte
    EXPECT_FALSE(isUtf8Name("\xC1\xBF"));
    EXPECT_FALSE(isUtf8Name("\xE0\x80\x80"));      // overlong three-byte form
    EXPECT_FALSE(isUtf8Name("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isUtf8Name("\xF5\x80\x80\x80"));  // beyond F4
    EXPECT_FALSE(isUtf8Name("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(isUtf8Name("ab\xC3"));            // cut off
    EXPECT_FALSE(isUtf8Name("\x80z"));             // stray continuation byte
}

}  // namespace
