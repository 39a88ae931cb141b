#include "Language.h"

#include <cstdlib>
#include <string_view>

namespace selvanix::cli {

bool speaksCzech() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            // "cs", "cs_CZ.UTF-8", "cs@euro"; not "csb" (Kashubian).
            const std::string_view locale(value);
            return locale.starts_with("cs") &&
                   (locale.size() == 2 ||
                    std::string_view("_.@").find(locale[2]) != std::string_view::npos);
        }
    }
    return false;
}

QString say(QStringView english, QStringView czech) {
    return (speaksCzech() ? czech : english).toString();
}

QString nameAsSaid(const QString& name, std::span<const Words> words) {
    if (speaksCzech()) {
        for (const Words& w : words) {
            if (name == QStringView(w.english)) {
                return QString::fromUtf16(w.czech);
            }
        }
    }
    return name;
}

QString counted(qint64 n, QStringView englishOne, QStringView englishMany, QStringView czechOne,
                QStringView czechFew, QStringView czechMany) {
    QStringView noun;
    if (speaksCzech()) {
        noun = n == 1 ? czechOne : (n >= 2 && n <= 4 ? czechFew : czechMany);
    } else {
        noun = n == 1 ? englishOne : englishMany;
    }
    return QString::number(n) + u' ' + noun.toString();
}

}  // namespace selvanix::cli
