#include "CzechPlural.h"

namespace selvanix {

QString czechPlural(qint64 n, QStringView one, QStringView few, QStringView many) {
    const QStringView form = n == 1 ? one : (n >= 2 && n <= 4 ? few : many);
    return form.toString().arg(n);
}

}  // namespace selvanix
