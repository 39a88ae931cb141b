#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace selvanix::publish {

// "--name value" options and the plain arguments after them, checked against what a command
// takes.
struct Options {
    QMap<QString, QString> named;
    QMap<QString, QStringList> repeated;  // the options that may be given more than once
    QStringList plain;

    // Nothing (and a report on standard error) when an option is unknown, given twice (unless
    // it is repeatable) or without its value, or the plain arguments do not number one of
    // counts.
    static std::optional<Options> parse(const QStringList& arguments, const QStringList& known,
                                        std::initializer_list<int> counts,
                                        const QStringList& repeatable = {});
    // Reports a required option that is missing.
    bool require(const QStringList& names) const;
};

}  // namespace selvanix::publish
