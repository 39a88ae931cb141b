#include "CommandAnswers.h"

#include "platform/CodePages.h"

namespace selvanix::cli {

TArcAction CommandAnswers::entryFailed(const QString&, int, const QString&) {
    return options_.onFailure == fxaIgnore ? fxaIgnore : fxaAbort;
}

// The same entry asked again means the file's password is not its password: it is skipped
// rather than asked for ever.
std::optional<QByteArray> CommandAnswers::password(const QString& entry) {
    if (!options_.password || entry == lastAsked_) {
        lastAsked_.clear();
        return std::nullopt;
    }
    lastAsked_ = entry;
    return platform::textToAnsi(*options_.password);
}

}  // namespace selvanix::cli
