#pragma once

#include "archive/Pakovna.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace selvanix {

// Every question a run asks, answered by whoever drives it: the window asks the user, the
// command line answers from its options. Asked on the run's own thread.
class RunQuestions {
public:
    virtual ~RunQuestions() = default;

    // An entry could not be written (native error, the archiver's message): retry it, leave
    // it out, or end the target.
    virtual TArcAction entryFailed(const QString& entry, int nativeError,
                                   const QString& message) = 0;
    // The password of an encrypted entry in the ANSI code page; nothing leaves the entry out.
    virtual std::optional<QByteArray> password(const QString& entry) = 0;
    // The package is older than what a target holds, or one of the two versions cannot be
    // compared: whether to install it all the same. Asked once per run.
    virtual bool allowDowngrade(const QString& packageVersion, const QString& installedVersion,
                                bool comparable) = 0;
    // A target holds another product (its stem and name) than this package's: whether to
    // install into it all the same. Asked once per run.
    virtual bool allowOtherProduct(const QString& target, const QString& stem,
                                   const QString& name) = 0;
};

// The archiver's own dialogs for the entries' questions, and no to the others.
class DialogQuestions : public RunQuestions {
public:
    TArcAction entryFailed(const QString& entry, int nativeError, const QString& message) override;
    std::optional<QByteArray> password(const QString& entry) override;
    bool allowDowngrade(const QString&, const QString&, bool) override { return false; }
    bool allowOtherProduct(const QString&, const QString&, const QString&) override {
        return false;
    }
};

}  // namespace selvanix
