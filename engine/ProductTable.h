#pragma once

#include <QString>
#include <array>

namespace selvanix {

// One product of the family. The code is what the settings file stores.
struct Product {
    int code;
    int radioIndex;
    const char16_t* displayName;  // radio item text
    const char16_t* bannerName;   // run screen while preparing
    const char16_t* stem;
    const char16_t* descriptorName;
    const char16_t* archiveName;
    int pictureIndex;
};

inline constexpr std::array<Product, 7> kProducts{{
    {1, 0, u"Brodělík", u"BRODĚLÍK", u"brodelik", u"brodelik.ini", u"upgrade-brodelik.zip", 0},
    {2, 1, u"Pesmarín", u"PESMARÍN", u"pesmarin", u"pesmarin.ini", u"upgrade-pesmarin.zip", 1},
    {4, 2, u"Tulvék", u"TULVÉK", u"tulvek", u"tulvek.ini", u"upgrade-tulvek.zip", 2},
    {5, 3, u"Zorbénka", u"ZORBÉNKA", u"zorbenka", u"zorbenka.ini", u"upgrade-zorbenka.zip", 3},
    {6, 4, u"Malvidoř", u"MALVIDOŘ", u"malvidor", u"malvidor.ini", u"upgrade-malvidor.zip", 4},
    {7, 5, u"Hestěrka", u"HESTĚRKA", u"hesterka", u"hesterka.ini", u"upgrade-hesterka.zip", 5},
    {8, 6, u"Quobr", u"QUOBR", u"quobr", u"quobr.ini", u"upgrade-quobr.zip", 6},
}};

// The row of a product code; nullptr for 0, 3 and every other code without a row.
const Product* productByCode(int code);
// The row of a product stem, as records and settings spell it; nullptr for any other text.
const Product* productByStem(const QString& stem);

}  // namespace selvanix
