#pragma once

#include "platform/Dialogs.h"

#include <QString>
#include <optional>

namespace selvanix::cli {

// The dialogs of a command: an error report goes to standard error, and any question outside
// a run's own (which CommandAnswers answers) gets no. Nothing ever waits for a person.
class AnswerDialogs : public platform::Dialogs {
public:
    void errorReport(const QString& title, const QString& text) override;
    bool confirm(const QString&, const QString&) override { return false; }
    platform::MessageResult message(const QString& caption, const QString& text,
                                    platform::MessageIcon icon,
                                    platform::MessageButtons buttons) override;
    std::optional<QString> password(const QString& caption, const QString& label,
                                    int maxLength) override;
    std::optional<QString> browseFolder(const QString& caption,
                                        const QString& startFolder) override;
};

}  // namespace selvanix::cli
