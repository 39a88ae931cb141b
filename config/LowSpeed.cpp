#include "LowSpeed.h"

#include "profile/IniFile.h"

namespace selvanix {

namespace {

int positiveOr(const TIniFile& file, const QString& key, int fallback) {
    bool ok = false;
    const int value =
        file.ReadString(QStringLiteral("SERVER"), key, QString()).trimmed().toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

}  // namespace

LowSpeed readLowSpeed(const QString& settingsFile, LowSpeed defaults) {
    const TIniFile file(settingsFile);
    return {positiveOr(file, QStringLiteral("lowspeedlimit"), defaults.bytesPerSecond),
            positiveOr(file, QStringLiteral("lowspeedtime"), defaults.seconds)};
}

}  // namespace selvanix
