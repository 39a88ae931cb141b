#include "AnswerDialogs.h"

#include <cstdio>

namespace selvanix::cli {

void AnswerDialogs::errorReport(const QString& title, const QString& text) {
    std::fprintf(stderr, "selvanix: %s: %s\n", title.toUtf8().constData(),
                 QString(text).replace(u'\n', u' ').toUtf8().constData());
}

platform::MessageResult AnswerDialogs::message(const QString&, const QString&,
                                               platform::MessageIcon,
                                               platform::MessageButtons buttons) {
    switch (buttons) {
        case platform::MessageButtons::AbortRetryIgnore:
        case platform::MessageButtons::AbortIgnore:
            return platform::MessageResult::Abort;
        case platform::MessageButtons::Ok:
            return platform::MessageResult::Ok;
        case platform::MessageButtons::YesNo:
        case platform::MessageButtons::YesNoNoToAllYesToAll:
            return platform::MessageResult::No;
        case platform::MessageButtons::OkCancel:
            break;
    }
    return platform::MessageResult::Cancel;
}

std::optional<QString> AnswerDialogs::password(const QString&, const QString&, int) {
    return std::nullopt;
}

std::optional<QString> AnswerDialogs::browseFolder(const QString&, const QString&) {
    return std::nullopt;
}

}  // namespace selvanix::cli
