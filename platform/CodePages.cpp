#include "CodePages.h"

#include <iconv.h>
#include <QHash>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace selvanix::platform {

namespace {

static_assert(std::endian::native == std::endian::little, "iconv runs in UTF-16LE");

std::mutex pagesMutex;
std::optional<CodePagePair> pagesOverride;

// RAII over an iconv conversion descriptor.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (valid()) {
            iconv_close(cd_);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }
    void reset() const { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd_;
};

QByteArray iconvName(int codePage);

// Opening a conversion loads its module, so each thread keeps the ones it used.
const Iconv& converter(int codePage, bool toText) {
    thread_local std::map<std::pair<int, bool>, std::unique_ptr<Iconv>> cache;
    auto& slot = cache[{codePage, toText}];
    if (!slot) {
        const QByteArray name = iconvName(codePage);
        slot = toText ? std::make_unique<Iconv>("UTF-16LE", name.constData())
                      : std::make_unique<Iconv>(name.constData(), "UTF-16LE");
    }
    slot->reset();
    return *slot;
}

bool isAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QByteArray iconvName(int codePage) {
    switch (codePage) {
        case 65001:
            return "UTF-8";
        case 932:
            return "CP932";
        case 936:
            return "CP936";
        case 949:
            return "CP949";
        case 950:
            return "BIG5";
        case 874:
            return "CP874";
        default:
            return "CP" + QByteArray::number(codePage);
    }
}

}  // namespace

CodePagePair codePagesForLocale(const QString& localeName) {
    const QString lang = localeName.section(u'.', 0, 0).section(u'@', 0, 0);
    const QString language = lang.section(u'_', 0, 0).toLower();
    const QString territory = lang.section(u'_', 1, 1).toUpper();
    const bool latinScript = localeName.contains(QStringLiteral("@latin"));

    static const QHash<QString, CodePagePair> table{
        {"en", {1252, 437}},  {"de", {1252, 850}}, {"fr", {1252, 850}}, {"es", {1252, 850}},
        {"it", {1252, 850}},  {"pt", {1252, 850}}, {"nl", {1252, 850}}, {"da", {1252, 850}},
        {"sv", {1252, 850}},  {"nb", {1252, 850}}, {"nn", {1252, 850}}, {"no", {1252, 850}},
        {"fi", {1252, 850}},  {"is", {1252, 850}}, {"ca", {1252, 850}}, {"eu", {1252, 850}},
        {"gl", {1252, 850}},  {"af", {1252, 850}}, {"ga", {1252, 850}}, {"id", {1252, 850}},
        {"ms", {1252, 850}},  {"sw", {1252, 437}}, {"cs", {1250, 852}}, {"sk", {1250, 852}},
        {"pl", {1250, 852}},  {"hu", {1250, 852}}, {"sl", {1250, 852}}, {"hr", {1250, 852}},
        {"ro", {1250, 852}},  {"sq", {1250, 852}}, {"bs", {1250, 852}}, {"ru", {1251, 866}},
        {"uk", {1251, 866}},  {"be", {1251, 866}}, {"bg", {1251, 866}}, {"mk", {1251, 866}},
        {"sr", {1251, 855}},  {"kk", {1251, 866}}, {"el", {1253, 737}}, {"tr", {1254, 857}},
        {"az", {1254, 857}},  {"he", {1255, 862}}, {"ar", {1256, 720}}, {"fa", {1256, 720}},
        {"ur", {1256, 720}},  {"et", {1257, 775}}, {"lv", {1257, 775}}, {"lt", {1257, 775}},
        {"vi", {1258, 1258}}, {"th", {874, 874}},  {"ja", {932, 932}},  {"ko", {949, 949}},
    };
    if (language == u"zh") {
        const bool traditional = territory == u"TW" || territory == u"HK" || territory == u"MO";
        return traditional ? CodePagePair{950, 950} : CodePagePair{936, 936};
    }
    if (language == u"sr" && latinScript) {
        return {1250, 852};
    }
    if (language == u"en" && !territory.isEmpty() && territory != u"US") {
        return {1252, 850};
    }
    return table.value(language, CodePagePair{1252, 437});
}

CodePagePair codePages() {
    std::lock_guard lock(pagesMutex);
    if (!pagesOverride) {
        QString name;
        for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const char* value = std::getenv(var);
            if (value != nullptr && *value != '\0') {
                name = QString::fromLocal8Bit(value);
                break;
            }
        }
        pagesOverride = codePagesForLocale(name);
    }
    return *pagesOverride;
}

void setCodePages(CodePagePair pages) {
    std::lock_guard lock(pagesMutex);
    pagesOverride = pages;
}

int ansiCodePage() {
    return codePages().ansi;
}
int oemCodePage() {
    return codePages().oem;
}

QString codePageToText(const QByteArray& bytes, int codePage) {
    // Every code page used here keeps the seven-bit characters as they are.
    if (isAscii(bytes)) {
        return QString::fromLatin1(bytes);
    }
    const Iconv& conv = converter(codePage, true);
    if (!conv.valid()) {
        return QString::fromLatin1(bytes);
    }
    QString out;
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char16_t buffer[256];
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer);
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(conv.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(QStringView(buffer, (sizeof buffer - outLeft) / sizeof(char16_t)));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            // An undefined or cut-off byte keeps its value, as Windows does for 1252.
            out.append(QChar(static_cast<unsigned char>(*in)));
            ++in;
            --inLeft;
            conv.reset();
        }
    }
    return out;
}

QByteArray textToCodePage(const QString& text, int codePage, bool* lossless) {
    if (lossless != nullptr) {
        *lossless = true;
    }
    if (isAscii(text)) {
        return text.toLatin1();
    }
    const Iconv& conv = converter(codePage, false);
    if (!conv.valid()) {
        const QByteArray out = text.toLatin1();
        if (lossless != nullptr) {
            *lossless = QString::fromLatin1(out) == text;
        }
        return out;
    }
    QByteArray out;
    out.reserve(text.size());
    char* in = reinterpret_cast<char*>(const_cast<QChar*>(text.constData()));
    size_t inLeft = static_cast<size_t>(text.size()) * sizeof(QChar);
    char buffer[512];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(conv.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            out.append('?');
            // Skip a whole surrogate pair when the unit is its first half.
            const bool pair =
                inLeft >= 4 && QChar::isHighSurrogate(*reinterpret_cast<const char16_t*>(in));
            const size_t skip = std::min(inLeft, pair ? size_t{4} : size_t{2});
            in += skip;
            inLeft -= skip;
            conv.reset();
            if (lossless != nullptr) {
                *lossless = false;
            }
        }
    }
    return out;
}

QString ansiToText(const QByteArray& bytes) {
    return codePageToText(bytes, ansiCodePage());
}

QByteArray textToAnsi(const QString& text, bool* lossless) {
    return textToCodePage(text, ansiCodePage(), lossless);
}

QByteArray oemToAnsi(const QByteArray& bytes) {
    if (isAscii(bytes)) {
        return bytes;
    }
    return textToAnsi(codePageToText(bytes, oemCodePage()));
}

bool isUtf8Name(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    bool high = false;
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        high = true;
        int length = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > n) {
            return false;
        }
        if (p[i + 1] < lo || p[i + 1] > hi) {
            return false;
        }
        for (int k = 2; k < length; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) {
                return false;
            }
        }
        i += length;
    }
    return high;
}

}  // namespace selvanix::platform
