#pragma once

#include <QString>
#include <QStringView>
#include <span>

namespace selvanix::cli {

// Whether the command line speaks Czech: the locale for messages (LC_ALL, else LC_MESSAGES,
// else LANG) names Czech. Any other locale, C included, gets English.
bool speaksCzech();

// The command line's own words in the language it speaks. The product's reasons, JSON keys and
// event names stay as they are in every language.
QString say(QStringView english, QStringView czech);

// An English word and its Czech.
struct Words {
    const char16_t* english;
    const char16_t* czech;
};

// A name that JSON keeps (an outcome, an action) as a line says it: its Czech from words under
// a Czech locale, else the name itself.
QString nameAsSaid(const QString& name, std::span<const Words> words);

// "1 file", "3 files"; "1 soubor", "3 soubory", "5 souborů" (and "0 souborů").
QString counted(qint64 n, QStringView englishOne, QStringView englishMany, QStringView czechOne,
                QStringView czechFew, QStringView czechMany);

}  // namespace selvanix::cli
