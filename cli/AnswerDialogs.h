#pragma once

#include "archive/Pakovna.h"
#include "platform/Dialogs.h"

#include <QString>
#include <optional>

namespace selvanix::cli {

// Every question the run would ask a person, answered from the command line: a failed entry
// by --on-failure, a password by the password file's line. Nothing ever waits.
class AnswerDialogs : public platform::Dialogs {
public:
    AnswerDialogs(TArcAction onFailure, std::optional<QString> password);

    void errorReport(const QString& title, const QString& text) override;
    bool confirm(const QString&, const QString&) override { return false; }
    platform::MessageResult message(const QString& caption, const QString& text,
                                    platform::MessageIcon icon,
                                    platform::MessageButtons buttons) override;
    std::optional<QString> password(const QString& caption, const QString& label,
                                    int maxLength) override;
    std::optional<QString> browseFolder(const QString& caption,
                                        const QString& startFolder) override;

private:
    TArcAction onFailure_;
    std::optional<QString> password_;
    QString lastAsked_;  // the entry the password was given for last
};

}  // namespace selvanix::cli
