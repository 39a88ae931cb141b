#pragma once

#include "platform/Dialogs.h"

namespace selvanix::ui {

// The modal questions as Qt widgets, installed by the program at start.
class WidgetDialogs : public platform::Dialogs {
public:
    void errorReport(const QString& title, const QString& text) override;
    platform::MessageResult message(const QString& caption, const QString& text,
                                    platform::MessageIcon icon,
                                    platform::MessageButtons buttons) override;
    bool confirm(const QString& caption, const QString& text) override;
    std::optional<QString> password(const QString& caption, const QString& label,
                                    int maxLength) override;
    std::optional<QString> browseFolder(const QString& caption,
                                        const QString& startFolder) override;
};

// Where the folder browser opens for a field's text: the nearest folder of it that exists on
// the host, or the installer's own folder when the field names none.
QString browseStart(const QString& fieldText);

}  // namespace selvanix::ui
