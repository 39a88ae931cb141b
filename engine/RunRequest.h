#pragma once

#include "config/SettingsFile.h"
#include "store/InstalledTargets.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace selvanix {

// Where the package comes from, by the number the settings store ("odkud").
enum class PackageSource { None = 0, Internet = 1, Folder = 2 };
// Where the targets are, by the number the settings store ("cilinstalace"): the ten target
// fields, or a search of the fixed drives, which two stored numbers ask for alike.
enum class TargetMode { Fields = 0, Search = 1, SearchAlike = 2 };

// What one installation run is asked to do; the window fills it from its fields, the command
// line from its options and the settings beside the program.
struct RunRequest {
    int product = 0;  // product code
    PackageSource source = PackageSource::Internet;
    QString packageFolder;
    TargetMode targetMode = TargetMode::Fields;
    std::array<QString, kTargetCount> fields;  // I ... X, empty ones skipped
    bool koukani = false;
    bool automaticky = false;
    QString baseUrl;    // ends in "/"; the key statements and a newer Selvanix lie here
    QString channel{};  // a release channel's name; empty for stable
    QString publicKey;  // base64; empty requires no signature
    // A target whose record says it holds exactly this package is left as it is.
    bool keepUnchanged = false;
    // An unattended run starts no program: nobody is there to use it.
    bool startPrograms = true;
    // For an unattended run, the folder as the data folder remembers it: the run touches it
    // only while it is that folder and holds this product.
    std::optional<InstalledTarget> remembered{};

    // Where the channel's packages, indexes and deltas lie: the base, or its folder named
    // after the channel.
    QString packageUrl() const;
    // The settings written into target: the fields, the first one holding the target.
    SettingsToWrite settingsFor(const QString& target, const QString& packageFolderNow) const;
};

// The descriptor's values, as the run shows them.
struct PackageInfo {
    QString marker;  // hledany
    QString name;
    QString version;
    QString date;
    QString run;
};

enum class RunOutcome {
    Installed,     // every target installed or already holding the package
    NoPackage,     // not found or not fetched
    Refused,       // a signature that is missing or does not match
    NoTarget,      // nowhere to install
    TargetFailed,  // a target could not be installed
    Skipped,       // installed, but entries were skipped
    Interrupted,
    Busy,  // another run held a target or the product's downloads; nothing changed
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Installed;
    QString reason;  // why, for every outcome but a clean install
    int installed = 0;
    int unchanged = 0;
    int skippedEntries = 0;
    QString version{};           // the package's, once its descriptor was read
    QStringList targets{};       // holding the package when the run ended, in the run's order
    QStringList notInstalled{};  // entries answered with Ignore or left without a password
    QStringList causes{};        // why they were not, once each
    bool changed() const { return installed > 0; }
};

// A short English name of an outcome, for logs and scripts.
QString outcomeName(RunOutcome outcome);

}  // namespace selvanix
