#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace selvanix::platform {

enum class MessageButtons {
    Ok,
    OkCancel,
    YesNo,
    AbortRetryIgnore,
    AbortIgnore,
    YesNoNoToAllYesToAll
};
enum class MessageResult { Ok, Cancel, Abort, Retry, Ignore, Yes, No, NoToAll, YesToAll };
enum class MessageIcon { None, Information, Warning, Error, Confirmation };

// Every modal question the system asks. The program installs widgets; tests install scripts.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The application's standard error report: error icon and one OK button.
    virtual void errorReport(const QString& title, const QString& text) = 0;
    // A message box; closing it without a button answers Cancel (or the last button).
    virtual MessageResult message(const QString& caption, const QString& text, MessageIcon icon,
                                  MessageButtons buttons) = 0;
    // A question of the installer's own: "Ano" or "Ne", with "Ne" the default and the answer
    // of Escape or closing; true for "Ano".
    virtual bool confirm(const QString& caption, const QString& text) = 0;
    // A masked one-line edit with OK and Cancel; nothing on Cancel.
    virtual std::optional<QString> password(const QString& caption, const QString& label,
                                            int maxLength) = 0;
    // A folder browser starting at an installer path; nothing when cancelled.
    virtual std::optional<QString> browseFolder(const QString& caption,
                                                const QString& startFolder) = 0;
};

void setDialogs(std::shared_ptr<Dialogs> dialogs);
// Until a set-up installs others: dialogs that print to standard error and answer "cancel".
Dialogs& dialogs();

}  // namespace selvanix::platform
