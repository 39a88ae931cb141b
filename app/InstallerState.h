#pragma once

#include "config/SettingsFile.h"
#include "engine/RunRequest.h"
#include "locate/DriveInventory.h"

#include <QString>
#include <QStringList>
#include <array>

namespace selvanix {

// What the window's handlers share, built from their choices and from what the run tells the
// window; zeroed at start and never reset as a whole.
struct InstallerState : DriveInventory {
    int cisloProgramu = 0;                       // product code, 0 = none yet
    int odkudinstC = 0;                          // 1 internet, 2 hard-disk folder
    int cilinstalace = 0;                        // 0 target fields, 1 and 2 search the fixed drives
    QString odkudCesta;                          // package folder
    std::array<QString, kTargetCount> KamCesta;  // I ... X
    QString Koukani;
    QString Automaticky;
    QString naz;  // file stem of the product
    QString cestabez;
    QString Cestaini;
    QString cestazip;
    // From the package descriptor.
    QString exac;
    QString nazev;
    QString verze;
    QString run;
    QString datum;
    QString TmpCestaAdresar;
    int pocetradkuINI = 0;
    int pocetradkuEXE = 0;
    int refusedFolders = 0;  // folders the search could not enter
    int cizich = 0;          // folders holding the program that another user could change

    PackageSource source() const { return static_cast<PackageSource>(odkudinstC); }
    TargetMode targetMode() const { return static_cast<TargetMode>(cilinstalace); }
};

}  // namespace selvanix
