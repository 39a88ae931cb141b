#pragma once

#include <QString>
#include <optional>

namespace selvanix {

// The support log every run appends to. Parallel runs of one user share it: each line goes in
// one append, and rotation happens under a lock that is never waited on for long. Its folder
// passes the rule the data folder does, the log is opened from that folder's handle, never
// through a link and never when another user owns it; a log that cannot be written never
// stops a run.
class RunLog {
public:
    // path empty: selvanix/selvanix.log below $XDG_STATE_HOME, else ~/.local/state, else the
    // account's own ~/.local/state, the first whose way nobody else can change; else none.
    explicit RunLog(const QString& path = QString());

    // The line with any credentials of an address left out.
    static QString redacted(const QString& text);
    void line(const QString& text) const;
    // Where the lines go; empty when no log is kept.
    QString path() const;
    // Why a log named on the command line is not kept.
    const std::optional<QString>& problem() const { return problem_; }

    // Past this size the log becomes <path>.1 and a new one starts.
    static constexpr qint64 kRotateAt = 1 << 20;

private:
    QString folder_;  // a host folder that passed the rule; empty: no log
    QByteArray name_;
    std::optional<QString> problem_;
};

}  // namespace selvanix
