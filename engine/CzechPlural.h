#pragma once

#include <QString>
#include <QStringView>

namespace selvanix {

// The form that goes with n in Czech, n put for %1: one for 1, few for 2 to 4, many for 0 and
// 5 on ("%1 soubor", "%1 soubory", "%1 souborů").
QString czechPlural(qint64 n, QStringView one, QStringView few, QStringView many);

}  // namespace selvanix
