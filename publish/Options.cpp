#include "Options.h"

#include "Commands.h"

namespace selvanix::publish {

std::optional<Options> Options::parse(const QStringList& arguments, const QStringList& known,
                                      std::initializer_list<int> counts,
                                      const QStringList& repeatable) {
    Options options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (!a.startsWith(QStringLiteral("--"))) {
            options.plain << a;
            continue;
        }
        if (!known.contains(a) && !repeatable.contains(a)) {
            report(kUsage, QStringLiteral("unknown option %1").arg(a));
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            report(kUsage, QStringLiteral("%1 needs a value").arg(a));
            return std::nullopt;
        }
        if (repeatable.contains(a)) {
            options.repeated[a] << arguments[++i];
            continue;
        }
        if (options.named.contains(a)) {
            report(kUsage, QStringLiteral("%1 given twice").arg(a));
            return std::nullopt;
        }
        options.named.insert(a, arguments[++i]);
    }
    if (std::find(counts.begin(), counts.end(), options.plain.size()) == counts.end()) {
        report(kUsage, QStringLiteral("wrong number of arguments (see selvanix-publish)"));
        return std::nullopt;
    }
    return options;
}

bool Options::require(const QStringList& names) const {
    for (const QString& name : names) {
        if (!named.contains(name)) {
            report(kUsage, QStringLiteral("%1 is required").arg(name));
            return false;
        }
    }
    return true;
}

}  // namespace selvanix::publish
