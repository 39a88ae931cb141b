#include "OwnerRule.h"

#include <unistd.h>

namespace selvanix::platform {

OwnerRule OwnerRule::forProcess() {
    return OwnerRule(::geteuid());
}

}  // namespace selvanix::platform
