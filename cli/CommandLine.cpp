#include "CommandLine.h"

#include "Language.h"

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
        error =
            UsageError{say(u"option %1 needs a value", u"volba %1 potřebuje hodnotu").arg(name)};
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
        return UsageError{say(u"no command given", u"chybí příkaz")};
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
            return UsageError{say(u"update takes --all", u"update se zadává s --all")};
        }
        o.command = CliOptions::Command::UpdateAll;
    } else {
        return UsageError{say(u"unknown command %1", u"neznámý příkaz %1").arg(command)};
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
                error =
                    UsageError{say(u"no product %1; the products are brodelik, pesmarin, tulvek, "
                                   u"zorbenka, malvidor, hesterka and quobr, or their codes "
                                   u"1, 2 and 4 to 8",
                                   u"program %1 neexistuje; programy jsou brodelik, pesmarin, "
                                   u"tulvek, zorbenka, malvidor, hesterka a quobr, nebo jejich "
                                   u"čísla 1, 2 a 4 až 8")
                                   .arg(*o.product)};
            }
        } else if ((install || check) && isOption(arg, QStringLiteral("--source"))) {
            o.source = valueOf(args, i, QStringLiteral("--source"), error);
            if (o.source && o.source->isEmpty()) {
                error = UsageError{say(u"--source needs internet or a folder",
                                       u"--source potřebuje internet nebo složku")};
            }
        } else if ((install || verify) && isOption(arg, QStringLiteral("--target"))) {
            const std::optional<QString> target =
                valueOf(args, i, QStringLiteral("--target"), error);
            if (target && target->isEmpty()) {
                error = UsageError{say(u"--target needs a folder", u"--target potřebuje složku")};
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
                error = UsageError{say(u"--on-failure takes abort or ignore",
                                       u"--on-failure bere abort nebo ignore")};
            }
        } else if (install && isOption(arg, QStringLiteral("--password-file"))) {
            o.passwordFile = valueOf(args, i, QStringLiteral("--password-file"), error);
        } else {
            error = UsageError{say(u"unknown option %1", u"neznámá volba %1").arg(arg)};
        }
    }
    if (error) {
        return *error;
    }
    if (o.targets.size() > kTargetCount) {
        return UsageError{say(u"at most %1 targets", u"nejvýše %1 cílů").arg(kTargetCount)};
    }
    if (verify && o.targets.size() != 1) {
        return UsageError{say(u"%1 takes one --target", u"%1 bere jedno --target").arg(command)};
    }
    if (o.search && !o.targets.isEmpty()) {
        return UsageError{
            say(u"--search and --target exclude each other", u"--search a --target se vylučují")};
    }
    return o;
}

namespace {

std::optional<int> knownProduct(const QString& stem, std::optional<UsageError>& error) {
    const std::optional<int> code = productCodeOf(stem);
    if (!code) {
        error = UsageError{say(u"no product %1", u"program %1 neexistuje").arg(stem)};
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
                error = UsageError{say(u"--target needs a folder", u"--target potřebuje složku")};
            }
        } else {
            error = UsageError{say(u"the window takes --product and --target once each, not %1",
                                   u"okno bere --product a --target nejvýše jednou, ne %1")
                                   .arg(args[i])};
        }
    }
    if (error) {
        return *error;
    }
    return choice;
}

QString usageText() {
    return say(
        u"Usage:\n"
        u"  selvanix                       the installer's window\n"
        u"  selvanix install [options]     install a product without a window\n"
        u"  selvanix upgrade [--json] [--log FILE] [--proxy URL]\n"
        u"                                 fetch and check a newer Selvanix, print its path\n"
        u"  selvanix verify --target FOLDER [--json] [--log FILE]\n"
        u"                                 compare a target with the record of its package\n"
        u"  selvanix uninstall --target FOLDER [--json] [--log FILE]\n"
        u"                                 remove the recorded files a target still holds\n"
        u"                                 unchanged; changed ones are kept and named\n"
        u"  selvanix rollback --target FOLDER [--json] [--log FILE]\n"
        u"                                 put back the version the last installation replaced\n"
        u"  selvanix repair --target FOLDER [--source internet|FOLDER] [options of install]\n"
        u"                                 extract again the recorded files that differ, from\n"
        u"                                 the package the record names\n"
        u"  selvanix list [--json]         the targets Selvanix installed into, and what they\n"
        u"                                 hold now\n"
        u"  selvanix check [--source internet|FOLDER] [--json] [--log FILE] [--proxy URL]\n"
        u"                                 whether a newer release waits for a listed target;\n"
        u"                                 fetches only the descriptors\n"
        u"  selvanix notify [options of check]\n"
        u"                                 check, and tell the desktop of each new release\n"
        u"                                 (and install it first, as update --all, when the\n"
        u"                                 settings say unattended=install)\n"
        u"  selvanix update --all [options of check]\n"
        u"                                 install each newer release into its listed\n"
        u"                                 targets, each on its own, within the settings'\n"
        u"                                 cool-down and metered rules; starts no program\n"
        u"  selvanix --product STEM --target FOLDER\n"
        u"                                 the window with that product and that first target\n"
        u"  selvanix --help | --version\n"
        u"\n"
        u"Options of install (what is not given comes from upgrade.kac beside the program):\n"
        u"  --product STEM|CODE      brodelik, pesmarin, tulvek, zorbenka, malvidor, hesterka,\n"
        u"                           quobr, or 1, 2, 4-8\n"
        u"  --source internet|FOLDER the maker's server, or a folder holding the package\n"
        u"  --target FOLDER          a target; up to ten, in order\n"
        u"  --search                 install wherever the product's program is found\n"
        u"  --on-failure abort|ignore  the answer to an entry that cannot be written (abort)\n"
        u"  --allow-other-product    install into a target that holds another product; its\n"
        u"                           files join the kept previous version\n"
        u"  --allow-downgrade        install a package older than (or not comparable with)\n"
        u"                           the version a target holds; refused without it\n"
        u"  --password-file FILE     the first line answers a password; without it such\n"
        u"                           entries are skipped\n"
        u"  --json                   JSON lines on standard output, the last one the outcome\n"
        u"  --log FILE               the run's log there instead of\n"
        u"                           $XDG_STATE_HOME/selvanix/selvanix.log\n"
        u"  --proxy URL              an http or https proxy, or env for http_proxy and the like\n"
        u"\n"
        u"Exit codes:\n"
        u"  0  installed, or every target already held this package\n"
        u"  2  usage error; no display for the window\n"
        u"  3  package not found or not fetched\n"
        u"  4  package refused (signature, validity, an older version; for repair, not the\n"
        u"     recorded package)\n"
        u"  5  no target, or a target that fails its check before the run; no record or\n"
        u"     no previous version to roll back to\n"
        u"  6  a target failed\n"
        u"  7  installed, but entries were skipped\n"
        u"  8  verify found differences\n"
        u"  9  interrupted; nothing changed\n"
        u"  10 a target, or the product's downloads, held by another run; nothing changed\n"
        u"  11 a newer release waits for a listed target (check, notify, update --all)\n",
        u"Použití:\n"
        u"  selvanix                       okno instalátoru\n"
        u"  selvanix install [volby]       nainstaluje program bez okna\n"
        u"  selvanix upgrade [--json] [--log SOUBOR] [--proxy URL]\n"
        u"                                 stáhne a ověří novější Selvanix, vypíše jeho cestu\n"
        u"  selvanix verify --target SLOŽKA [--json] [--log SOUBOR]\n"
        u"                                 porovná cíl se záznamem jeho balíčku\n"
        u"  selvanix uninstall --target SLOŽKA [--json] [--log SOUBOR]\n"
        u"                                 odstraní zaznamenané soubory, které cíl drží\n"
        u"                                 nezměněné; změněné ponechá a vyjmenuje\n"
        u"  selvanix rollback --target SLOŽKA [--json] [--log SOUBOR]\n"
        u"                                 vrátí verzi, kterou poslední instalace nahradila\n"
        u"  selvanix repair --target SLOŽKA [--source internet|SLOŽKA] [volby install]\n"
        u"                                 znovu rozbalí zaznamenané soubory, které se liší,\n"
        u"                                 z balíčku, který záznam jmenuje\n"
        u"  selvanix list [--json]         cíle, do kterých Selvanix instaloval, a co v nich\n"
        u"                                 je teď\n"
        u"  selvanix check [--source internet|SLOŽKA] [--json] [--log SOUBOR] [--proxy URL]\n"
        u"                                 zda na zapamatovaný cíl čeká novější verze;\n"
        u"                                 stahuje jen popisy balíčků\n"
        u"  selvanix notify [volby check]\n"
        u"                                 zkontroluje a ohlásí každou novou verzi na ploše\n"
        u"                                 (a napřed ji nainstaluje jako update --all, když\n"
        u"                                 nastavení říká unattended=install)\n"
        u"  selvanix update --all [volby check]\n"
        u"                                 nainstaluje každou novější verzi do jejích\n"
        u"                                 zapamatovaných cílů, každý zvlášť, podle pravidel\n"
        u"                                 odkladu a měřeného připojení; nespouští programy\n"
        u"  selvanix --product KMEN --target SLOŽKA\n"
        u"                                 okno s tímto programem a tímto prvním cílem\n"
        u"  selvanix --help | --version\n"
        u"\n"
        u"Volby install (co chybí, přijde z upgrade.kac vedle programu):\n"
        u"  --product KMEN|ČÍSLO     brodelik, pesmarin, tulvek, zorbenka, malvidor, hesterka,\n"
        u"                           quobr, nebo 1, 2, 4-8\n"
        u"  --source internet|SLOŽKA server výrobce, nebo složka s balíčkem\n"
        u"  --target SLOŽKA          cíl; až deset, v pořadí\n"
        u"  --search                 instaluje všude, kde se najde program daného produktu\n"
        u"  --on-failure abort|ignore  odpověď na soubor, který nelze zapsat (abort)\n"
        u"  --allow-other-product    instaluje i do cíle s jiným programem; jeho soubory\n"
        u"                           přejdou do ponechané předchozí verze\n"
        u"  --allow-downgrade        instaluje i balíček starší než verze v cíli (nebo s ní\n"
        u"                           neporovnatelný); bez této volby je odmítnut\n"
        u"  --password-file SOUBOR   první řádek je heslo; bez něj se šifrované soubory\n"
        u"                           vynechají\n"
        u"  --json                   řádky JSON na standardním výstupu, poslední je výsledek\n"
        u"  --log SOUBOR             záznam běhu sem místo do\n"
        u"                           $XDG_STATE_HOME/selvanix/selvanix.log\n"
        u"  --proxy URL              proxy http nebo https, nebo env pro http_proxy apod.\n"
        u"\n"
        u"Návratové kódy:\n"
        u"  0  nainstalováno, nebo každý cíl už tento balíček měl\n"
        u"  2  chybné použití; pro okno chybí displej\n"
        u"  3  balíček nenalezen nebo nestažen\n"
        u"  4  balíček odmítnut (podpis, platnost, starší verze; u repair jiný než\n"
        u"     zaznamenaný balíček)\n"
        u"  5  žádný cíl, nebo cíl, který neprošel kontrolou před během; žádný záznam\n"
        u"     nebo žádná předchozí verze k návratu\n"
        u"  6  cíl selhal\n"
        u"  7  nainstalováno, ale soubory byly vynechány\n"
        u"  8  verify našel rozdíly\n"
        u"  9  přerušeno; nic se nezměnilo\n"
        u"  10 cíl nebo stahování programu drží jiný běh; nic se nezměnilo\n"
        u"  11 na zapamatovaný cíl čeká novější verze (check, notify, update --all)\n");
}

}  // namespace selvanix::cli
