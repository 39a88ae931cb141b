#include "RunQuestions.h"

#include "archive/PasswordStep.h"

namespace selvanix {

TArcAction DialogQuestions::entryFailed(const QString&, int nativeError, const QString& message) {
    return TPakovna::askFailureAction(nativeError, message);
}

std::optional<QByteArray> DialogQuestions::password(const QString& entry) {
    QByteArray password;
    bool skip = false;
    askPasswordDialog(entry, password, skip);
    return skip ? std::nullopt : std::optional<QByteArray>(password);
}

}  // namespace selvanix
