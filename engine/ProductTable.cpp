#include "ProductTable.h"

namespace selvanix {

const Product* productByCode(int code) {
    for (const Product& p : kProducts) {
        if (p.code == code) {
            return &p;
        }
    }
    return nullptr;
}

}  // namespace selvanix
