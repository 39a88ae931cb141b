#include "UpdatePolicy.h"

#include "profile/IniFile.h"

#include <optional>

namespace selvanix {

namespace {

// The value of key in the all-users file when it names it, else in the user's; the file it
// came from for a problem's message.
struct Named {
    QString value;
    QString file;
};
std::optional<Named> policyValue(const QString& own, const QString& system, const char* key) {
    for (const QString& file : {system, own}) {
        if (file.isEmpty()) {
            continue;
        }
        const QString value =
            TIniFile(file)
                .ReadString(QStringLiteral("SERVER"), QString::fromLatin1(key), QString())
                .trimmed();
        if (!value.isEmpty()) {
            return Named{value, file};
        }
    }
    return std::nullopt;
}

// One of two words: the second is true. A problem names the key, the file and the words.
bool choice(const std::optional<Named>& named, const char* key, const char* no, const char* yes,
            QString& problem) {
    if (!named || named->value == QLatin1String(no)) {
        return false;
    }
    if (named->value == QLatin1String(yes)) {
        return true;
    }
    problem = QStringLiteral("%1=%2 in %3: write %4 or %5")
                  .arg(QLatin1String(key), named->value, named->file, QLatin1String(no),
                       QLatin1String(yes));
    return false;
}

}  // namespace

UpdatePolicy readUpdatePolicy(const QString& ownFile, const QString& systemFile) {
    UpdatePolicy policy;
    policy.install = choice(policyValue(ownFile, systemFile, "unattended"), "unattended", "notify",
                            "install", policy.problem);
    policy.onMetered = choice(policyValue(ownFile, systemFile, "metered"), "metered", "wait",
                              "install", policy.problem);
    if (const std::optional<Named> days = policyValue(ownFile, systemFile, "cooldowndays")) {
        bool number = false;
        policy.coolDownDays = days->value.toInt(&number);
        if (!number || policy.coolDownDays < 0 || policy.coolDownDays > kMaxCoolDownDays) {
            policy.problem = QStringLiteral(
                                 "cooldowndays=%1 in %2: write a number of days "
                                 "from 0 to %3")
                                 .arg(days->value, days->file)
                                 .arg(kMaxCoolDownDays);
            policy.coolDownDays = kMaxCoolDownDays;
        }
    }
    return policy;
}

}  // namespace selvanix
