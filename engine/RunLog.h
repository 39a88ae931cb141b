#pragma once

#include <QString>

namespace selvanix {

// The support log every run appends to. Parallel runs of one user share it: each line goes in
// one append, and rotation happens under a lock. A log that cannot be written is skipped.
class RunLog {
public:
    // path empty: $XDG_STATE_HOME/selvanix/selvanix.log, by default under ~/.local/state.
    explicit RunLog(const QString& path = QString());

    static QString defaultPath();
    // The line with any credentials of an address left out.
    static QString redacted(const QString& text);

    void line(const QString& text) const;
    const QString& path() const { return path_; }

    // Past this size the log becomes <path>.1 and a new one starts.
    static constexpr qint64 kRotateAt = 1 << 20;

private:
    void rotateIfFull() const;

    QString path_;
};

}  // namespace selvanix
