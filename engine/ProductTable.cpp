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

const Product* productByStem(const QString& stem) {
    for (const Product& p : kProducts) {
        if (stem == QStringView(p.stem)) {
            return &p;
        }
    }
    return nullptr;
}

}  // namespace selvanix
