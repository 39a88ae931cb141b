#pragma once

#include <QString>

namespace selvanix {

// The version the build was made as, from the project's own.
inline QString selvanixVersion() {
    return QStringLiteral(SELVANIX_VERSION);
}

}  // namespace selvanix
