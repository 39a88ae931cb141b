#include "ScriptedDialogs.h"

#include <stdexcept>

namespace selvanix::test {

namespace {

template <typename T>
T next(std::deque<T>& answers, const QString& what) {
    if (answers.empty()) {
        throw std::logic_error("unscripted dialog: " + what.toStdString());
    }
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

}  // namespace

void ScriptedDialogs::record(Call call) {
    calls.push_back(std::move(call));
    if (onCall) {
        onCall(calls.back());
    }
}

void ScriptedDialogs::errorReport(const QString& title, const QString& text) {
    record({Kind::ErrorReport, title, text, platform::MessageIcon::Error,
            platform::MessageButtons::Ok, 0});
}

platform::MessageResult ScriptedDialogs::message(const QString& caption, const QString& text,
                                                 platform::MessageIcon icon,
                                                 platform::MessageButtons buttons) {
    record({Kind::Message, caption, text, icon, buttons, 0});
    return next(messageAnswers, text);
}

bool ScriptedDialogs::confirm(const QString& caption, const QString& text) {
    record({Kind::Confirm, caption, text, platform::MessageIcon::Confirmation,
            platform::MessageButtons::YesNo, 0});
    return next(messageAnswers, text) == platform::MessageResult::Yes;
}

std::optional<QString> ScriptedDialogs::password(const QString& caption, const QString& label,
                                                 int maxLength) {
    record({Kind::Password, caption, label, platform::MessageIcon::None,
            platform::MessageButtons::OkCancel, maxLength});
    return next(passwordAnswers, caption);
}

std::optional<QString> ScriptedDialogs::browseFolder(const QString& caption,
                                                     const QString& startFolder) {
    record({Kind::BrowseFolder, caption, startFolder, platform::MessageIcon::None,
            platform::MessageButtons::OkCancel, 0});
    return next(folderAnswers, caption);
}

}  // namespace selvanix::test
