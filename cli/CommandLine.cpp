#include "CommandLine.h"

#include "config/SettingsFile.h"
#include "engine/ProductTable.h"

namespace selvanix::cli {

namespace {

// "--name value" or "--name=value"; advances i past what it took.
std::optional<QString> valueOf(const QStringList& args, qsizetype& i, const QString& name,
                               std::optional<UsageError>& error) {
    const QString& arg = args[i];
    if (arg.startsWith(name + u'=')) {
        return arg.mid(name.size() + 1);
    }
    if (i + 1 >= args.size()) {
        error = UsageError{QStringLiteral("option %1 needs a value").arg(name)};
        return std::nullopt;
    }
    return args[++i];
}

bool isOption(const QString& arg, const QString& name) {
    return arg == name || arg.startsWith(name + u'=');
}

}  // namespace

std::optional<int> productCodeOf(const QString& name) {
    for (const Product& p : kProducts) {
        if (name.compare(QString::fromUtf16(p.stem), Qt::CaseInsensitive) == 0 ||
            name == QString::number(p.code)) {
            return p.code;
        }
    }
    return std::nullopt;
}

std::variant<CliOptions, UsageError> parseCommandLine(const QStringList& args) {
    CliOptions o;
    if (args.isEmpty()) {
        return UsageError{QStringLiteral("no command given")};
    }
    const QString& command = args.first();
    if (command == u"--help" || command == u"-h" || command == u"help") {
        o.command = CliOptions::Command::Help;
        return o;
    }
    if (command == u"--version") {
        o.command = CliOptions::Command::Version;
        return o;
    }
    if (command == u"install") {
        o.command = CliOptions::Command::Install;
    } else if (command == u"upgrade") {
        o.command = CliOptions::Command::Upgrade;
    } else if (command == u"verify") {
        o.command = CliOptions::Command::Verify;
    } else if (command == u"uninstall") {
        o.command = CliOptions::Command::Uninstall;
    } else if (command == u"rollback") {
        o.command = CliOptions::Command::Rollback;
    } else if (command == u"repair") {
        o.command = CliOptions::Command::Repair;
    } else if (command == u"list") {
        o.command = CliOptions::Command::List;
    } else if (command == u"check") {
        o.command = CliOptions::Command::Check;
    } else if (command == u"notify") {
        o.command = CliOptions::Command::Notify;
    } else if (command == u"update") {
        // Only every remembered target at once: one folder is what install is for.
        if (!args.mid(1).contains(QStringLiteral("--all"))) {
            return UsageError{QStringLiteral("update takes --all")};
        }
        o.command = CliOptions::Command::UpdateAll;
    } else {
        return UsageError{QStringLiteral("unknown command %1").arg(command)};
    }
    const bool repair = o.command == CliOptions::Command::Repair;
    // Commands on one target that holds a record.
    const bool verify = o.command == CliOptions::Command::Verify ||
                        o.command == CliOptions::Command::Uninstall ||
                        o.command == CliOptions::Command::Rollback || repair;
    // Commands that fetch and extract a package.
    const bool install = o.command == CliOptions::Command::Install || repair;
    // Commands that read the descriptors of the remembered targets' products.
    const bool check = o.command == CliOptions::Command::Check ||
                       o.command == CliOptions::Command::Notify ||
                       o.command == CliOptions::Command::UpdateAll;
    std::optional<UsageError> error;
    for (qsizetype i = 1; i < args.size() && !error; ++i) {
        const QString& arg = args[i];
        if (arg == u"--json") {
            o.json = true;
        } else if (arg == u"--all" && o.command == CliOptions::Command::UpdateAll) {
            continue;
        } else if (arg == u"--help" || arg == u"-h") {
            o.command = CliOptions::Command::Help;
            return o;
        } else if (isOption(arg, QStringLiteral("--log"))) {
            o.logFile = valueOf(args, i, QStringLiteral("--log"), error);
        } else if (isOption(arg, QStringLiteral("--proxy"))) {
            o.proxy = valueOf(args, i, QStringLiteral("--proxy"), error);
        } else if (install && isOption(arg, QStringLiteral("--product"))) {
            o.product = valueOf(args, i, QStringLiteral("--product"), error);
            if (o.product && !productCodeOf(*o.product)) {
                error = UsageError{QStringLiteral("no product %1; the products are brodelik, "
                                                  "pesmarin, tulvek, zorbenka, malvidor, hesterka "
                                                  "and quobr, or their codes 1, 2 and 4 to 8")
                                       .arg(*o.product)};
            }
        } else if ((install || check) && isOption(arg, QStringLiteral("--source"))) {
            o.source = valueOf(args, i, QStringLiteral("--source"), error);
            if (o.source && o.source->isEmpty()) {
                error = UsageError{QStringLiteral("--source needs internet or a folder")};
            }
        } else if ((install || verify) && isOption(arg, QStringLiteral("--target"))) {
            const std::optional<QString> target =
                valueOf(args, i, QStringLiteral("--target"), error);
            if (target && target->isEmpty()) {
                error = UsageError{QStringLiteral("--target needs a folder")};
            } else if (target) {
                o.targets << *target;
            }
        } else if (install && !repair && arg == u"--allow-downgrade") {
            o.allowDowngrade = true;
        } else if (install && !repair && arg == u"--allow-other-product") {
            o.allowOtherProduct = true;
        } else if (install && !repair && arg == u"--search") {
            o.search = true;
        } else if (install && isOption(arg, QStringLiteral("--on-failure"))) {
            const std::optional<QString> answer =
                valueOf(args, i, QStringLiteral("--on-failure"), error);
            if (answer == u"abort") {
                o.onFailure = fxaAbort;
            } else if (answer == u"ignore") {
                o.onFailure = fxaIgnore;
            } else if (answer) {
                error = UsageError{QStringLiteral("--on-failure takes abort or ignore")};
            }
        } else if (install && isOption(arg, QStringLiteral("--password-file"))) {
            o.passwordFile = valueOf(args, i, QStringLiteral("--password-file"), error);
        } else {
            error = UsageError{QStringLiteral("unknown option %1").arg(arg)};
        }
    }
    if (error) {
        return *error;
    }
    if (o.targets.size() > kTargetCount) {
        return UsageError{QStringLiteral("at most %1 targets").arg(kTargetCount)};
    }
    if (verify && o.targets.size() != 1) {
        return UsageError{QStringLiteral("%1 takes one --target").arg(command)};
    }
    if (o.search && !o.targets.isEmpty()) {
        return UsageError{QStringLiteral("--search and --target exclude each other")};
    }
    return o;
}

namespace {

std::optional<int> knownProduct(const QString& stem, std::optional<UsageError>& error) {
    const std::optional<int> code = productCodeOf(stem);
    if (!code) {
        error = UsageError{QStringLiteral("no product %1").arg(stem)};
    }
    return code;
}

}  // namespace

bool windowArguments(const QStringList& arguments) {
    return !arguments.isEmpty() && (isOption(arguments.first(), QStringLiteral("--product")) ||
                                    isOption(arguments.first(), QStringLiteral("--target")));
}

std::variant<WindowChoice, UsageError> parseWindowArguments(const QStringList& args) {
    WindowChoice choice;
    std::optional<UsageError> error;
    for (qsizetype i = 0; i < args.size() && !error; ++i) {
        if (isOption(args[i], QStringLiteral("--product")) && !choice.product) {
            const std::optional<QString> stem =
                valueOf(args, i, QStringLiteral("--product"), error);
            choice.product = stem ? knownProduct(*stem, error) : std::nullopt;
        } else if (isOption(args[i], QStringLiteral("--target")) && !choice.target) {
            choice.target = valueOf(args, i, QStringLiteral("--target"), error);
            if (choice.target && choice.target->isEmpty()) {
                error = UsageError{QStringLiteral("--target needs a folder")};
            }
        } else {
            error = UsageError{QStringLiteral("the window takes --product and --target once "
                                              "each, not %1")
                                   .arg(args[i])};
        }
    }
    if (error) {
        return *error;
    }
    return choice;
}

QString usageText() {
    return QStringLiteral(
        "Usage:\n"
        "  selvanix                       the installer's window\n"
        "  selvanix install [options]     install a product without a window\n"
        "  selvanix upgrade [--json] [--log FILE] [--proxy URL]\n"
        "                                 fetch and check a newer Selvanix, print its path\n"
        "  selvanix verify --target FOLDER [--json] [--log FILE]\n"
        "                                 compare a target with the record of its package\n"
        "  selvanix uninstall --target FOLDER [--json] [--log FILE]\n"
        "                                 remove the recorded files a target still holds\n"
        "                                 unchanged; changed ones are kept and named\n"
        "  selvanix rollback --target FOLDER [--json] [--log FILE]\n"
        "                                 put back the version the last installation replaced\n"
        "  selvanix repair --target FOLDER [--source internet|FOLDER] [options of install]\n"
        "                                 extract again the recorded files that differ, from\n"
        "                                 the package the record names\n"
        "  selvanix list [--json]         the targets Selvanix installed into, and what they\n"
        "                                 hold now\n"
        "  selvanix check [--source internet|FOLDER] [--json] [--log FILE] [--proxy URL]\n"
        "                                 whether a newer release waits for a listed target;\n"
        "                                 fetches only the descriptors\n"
        "  selvanix notify [options of check]\n"
        "                                 check, and tell the desktop of each new release\n"
        "                                 (and install it first, as update --all, when the\n"
        "                                 settings say unattended=install)\n"
        "  selvanix update --all [options of check]\n"
        "                                 install each newer release into its listed\n"
        "                                 targets, each on its own, within the settings'\n"
        "                                 cool-down and metered rules; starts no program\n"
        "  selvanix --product STEM --target FOLDER\n"
        "                                 the window with that product and that first target\n"
        "  selvanix --help | --version\n"
        "\n"
        "Options of install (what is not given comes from upgrade.kac beside the program):\n"
        "  --product STEM|CODE      brodelik, pesmarin, tulvek, zorbenka, malvidor, hesterka,\n"
        "                           quobr, or 1, 2, 4-8\n"
        "  --source internet|FOLDER the maker's server, or a folder holding the package\n"
        "  --target FOLDER          a target; up to ten, in order\n"
        "  --search                 install wherever the product's program is found\n"
        "  --on-failure abort|ignore  the answer to an entry that cannot be written (abort)\n"
        "  --allow-other-product    install into a target that holds another product; its\n"
        "                           files join the kept previous version\n"
        "  --allow-downgrade        install a package older than (or not comparable with)\n"
        "                           the version a target holds; refused without it\n"
        "  --password-file FILE     the first line answers a password; without it such\n"
        "                           entries are skipped\n"
        "  --json                   JSON lines on standard output, the last one the outcome\n"
        "  --log FILE               the run's log there instead of\n"
        "                           $XDG_STATE_HOME/selvanix/selvanix.log\n"
        "  --proxy URL              an http or https proxy, or env for http_proxy and the like\n"
        "\n"
        "Exit codes:\n"
        "  0  installed, or every target already held this package\n"
        "  2  usage error; no display for the window\n"
        "  3  package not found or not fetched\n"
        "  4  package refused (signature, validity, an older version; for repair, not the\n"
        "     recorded package)\n"
        "  5  no target, or a target that fails its check before the run; no record or\n"
        "     no previous version to roll back to\n"
        "  6  a target failed\n"
        "  7  installed, but entries were skipped\n"
        "  8  verify found differences\n"
        "  9  interrupted; nothing changed\n"
        "  10 a target, or the product's downloads, held by another run; nothing changed\n"
        "  11 a newer release waits for a listed target (check, notify, update --all)\n");
}

}  // namespace selvanix::cli
