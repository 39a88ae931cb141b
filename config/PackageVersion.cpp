#include "PackageVersion.h"

#include <QRegularExpression>
#include <optional>
#include <vector>

namespace selvanix {

namespace {

std::optional<std::vector<qulonglong>> parts(const QString& version) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,9}([.,][0-9]{1,9})*$"));
    const QString trimmed = version.trimmed();
    if (!form.match(trimmed).hasMatch()) {
        return std::nullopt;
    }
    std::vector<qulonglong> numbers;
    for (const QString& part : trimmed.split(QRegularExpression(QStringLiteral("[.,]")))) {
        numbers.push_back(part.toULongLong());
    }
    return numbers;
}

}  // namespace

VersionOrder compareVersions(const QString& a, const QString& b) {
    const auto left = parts(a);
    const auto right = parts(b);
    if (!left || !right) {
        return VersionOrder::Incomparable;
    }
    for (std::size_t i = 0; i < std::max(left->size(), right->size()); ++i) {
        const qulonglong x = i < left->size() ? (*left)[i] : 0;
        const qulonglong y = i < right->size() ? (*right)[i] : 0;
        if (x != y) {
            return x < y ? VersionOrder::Older : VersionOrder::Newer;
        }
    }
    return VersionOrder::Same;
}

}  // namespace selvanix
