#include "PointSize.h"

namespace selvanix {

int pointsToPixels(int points) {
    return (points * 96 + 36) / 72;
}

}  // namespace selvanix
