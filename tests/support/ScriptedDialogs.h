#pragma once

#include "platform/Dialogs.h"

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace selvanix::test {

// Answers every modal question from a script and records what was asked. A question without
// a scripted answer throws, so a test never blocks and never passes by accident.
class ScriptedDialogs : public platform::Dialogs {
public:
    enum class Kind { ErrorReport, Message, Confirm, Password, BrowseFolder };
    struct Call {
        Kind kind;
        QString caption;
        QString text;
        platform::MessageIcon icon = platform::MessageIcon::None;
        platform::MessageButtons buttons = platform::MessageButtons::Ok;
        int maxLength = 0;
    };

    std::deque<platform::MessageResult> messageAnswers;
    std::deque<std::optional<QString>> passwordAnswers;
    std::deque<std::optional<QString>> folderAnswers;
    std::vector<Call> calls;
    // Runs as each call is recorded, while the asking code still waits for the answer.
    std::function<void(const Call&)> onCall;

    void errorReport(const QString& title, const QString& text) override;
    platform::MessageResult message(const QString& caption, const QString& text,
                                    platform::MessageIcon icon,
                                    platform::MessageButtons buttons) override;
    // Answered from messageAnswers: Yes is "Ano", anything else "Ne".
    bool confirm(const QString& caption, const QString& text) override;
    std::optional<QString> password(const QString& caption, const QString& label,
                                    int maxLength) override;
    std::optional<QString> browseFolder(const QString& caption,
                                        const QString& startFolder) override;

private:
    void record(Call call);
};

}  // namespace selvanix::test
