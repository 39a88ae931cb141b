#pragma once

#include "archive/Pakovna.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace selvanix::cli {

// A command line as given; what it leaves out comes from the settings beside the program.
struct CliOptions {
    enum class Command {
        Install,
        Upgrade,
        Verify,
        Uninstall,
        Rollback,
        Repair,
        List,
        Check,
        Notify,
        UpdateAll,
        Help,
        Version
    };
    Command command = Command::Help;
    std::optional<QString> product;  // a stem or a product code
    std::optional<QString> source;   // "internet" or a folder
    QStringList targets;
    bool search = false;
    TArcAction onFailure = fxaAbort;
    std::optional<QString> passwordFile;
    bool json = false;
    std::optional<QString> logFile;
    std::optional<QString> proxy;
    bool allowDowngrade = false;
    bool allowOtherProduct = false;
};

struct UsageError {
    QString message;
};

// The arguments after the program's name; nothing at all means the window.
std::variant<CliOptions, UsageError> parseCommandLine(const QStringList& arguments);

// What the window is started with: a product chosen and a folder in the first target field,
// as a notification's action asks. The window installs nothing until the user says so.
struct WindowChoice {
    std::optional<int> product;
    std::optional<QString> target;
};
// Whether the arguments are the window's own rather than a command.
bool windowArguments(const QStringList& arguments);
std::variant<WindowChoice, UsageError> parseWindowArguments(const QStringList& arguments);

// What --help prints, the exit codes included.
QString usageText();

// The product code a stem or a code names; nothing when no product has it.
std::optional<int> productCodeOf(const QString& name);

}  // namespace selvanix::cli
