#include "Dialogs.h"

#include <cstdio>
#include <mutex>

namespace selvanix::platform {

namespace {

class NonInteractiveDialogs : public Dialogs {
public:
    void errorReport(const QString& title, const QString& text) override {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
    }
    MessageResult message(const QString& caption, const QString& text, MessageIcon,
                          MessageButtons buttons) override {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), qUtf8Printable(text));
        switch (buttons) {
            case MessageButtons::Ok:
                return MessageResult::Ok;
            case MessageButtons::AbortRetryIgnore:
            case MessageButtons::AbortIgnore:
                return MessageResult::Abort;
            case MessageButtons::YesNo:
            case MessageButtons::YesNoNoToAllYesToAll:
                return MessageResult::No;
            case MessageButtons::OkCancel:
                break;
        }
        return MessageResult::Cancel;
    }
    bool confirm(const QString& caption, const QString& text) override {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), qUtf8Printable(text));
        return false;
    }
    std::optional<QString> password(const QString&, const QString&, int) override {
        return std::nullopt;
    }
    std::optional<QString> browseFolder(const QString&, const QString&) override {
        return std::nullopt;
    }
};

std::mutex dialogsMutex;
std::shared_ptr<Dialogs> currentDialogs;

}  // namespace

void setDialogs(std::shared_ptr<Dialogs> dialogs) {
    std::lock_guard lock(dialogsMutex);
    currentDialogs = std::move(dialogs);
}

Dialogs& dialogs() {
    std::lock_guard lock(dialogsMutex);
    if (!currentDialogs) {
        currentDialogs = std::make_shared<NonInteractiveDialogs>();
    }
    return *currentDialogs;
}

}  // namespace selvanix::platform
