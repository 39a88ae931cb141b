#pragma once

#include <QByteArray>
#include <QString>

namespace selvanix::platform {

struct CodePagePair {
    int ansi = 1252;
    int oem = 437;
};

// The ANSI and OEM code pages Windows picks for a locale name such as "cs_CZ.UTF-8".
CodePagePair codePagesForLocale(const QString& localeName);

// The process's code pages: from LC_ALL, LC_CTYPE or LANG unless a test set them.
CodePagePair codePages();
void setCodePages(CodePagePair pages);
int ansiCodePage();
int oemCodePage();

// Bytes in a code page to text. Bytes the code page leaves undefined keep their value.
QString codePageToText(const QByteArray& bytes, int codePage);
// Text to bytes in a code page; characters it cannot hold become '?' and clear *lossless.
QByteArray textToCodePage(const QString& text, int codePage, bool* lossless = nullptr);

QString ansiToText(const QByteArray& bytes);
QByteArray textToAnsi(const QString& text, bool* lossless = nullptr);
// OEM bytes to the same characters in the ANSI code page.
QByteArray oemToAnsi(const QByteArray& bytes);

// True when the bytes hold a byte of 0x80 or above and every such byte belongs to a
// well-formed UTF-8 sequence (lead bytes C2-F4).
bool isUtf8Name(const QByteArray& bytes);

}  // namespace selvanix::platform
