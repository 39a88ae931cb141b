#include "AnswerDialogs.h"

#include <cstdio>

namespace selvanix::cli {

AnswerDialogs::AnswerDialogs(TArcAction onFailure, std::optional<QString> password)
    : onFailure_(onFailure), password_(std::move(password)) {}

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
            return onFailure_ == fxaIgnore ? platform::MessageResult::Ignore
                                           : platform::MessageResult::Abort;
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

// The same entry asked again means the file's password is not its password: it is skipped
// rather than asked for ever.
std::optional<QString> AnswerDialogs::password(const QString& caption, const QString&, int) {
    if (!password_ || caption == lastAsked_) {
        lastAsked_.clear();
        return std::nullopt;
    }
    lastAsked_ = caption;
    return password_;
}

std::optional<QString> AnswerDialogs::browseFolder(const QString&, const QString&) {
    return std::nullopt;
}

}  // namespace selvanix::cli
