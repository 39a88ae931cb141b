#pragma once

#include "engine/RunQuestions.h"

#include <QString>
#include <optional>

namespace selvanix::cli {

// The run's questions answered from the command's options: --on-failure for an entry that
// could not be written, the password file's password, --allow-downgrade and
// --allow-other-product. Nothing ever waits for a person.
class CommandAnswers final : public RunQuestions {
public:
    struct Options {
        TArcAction onFailure = fxaAbort;
        std::optional<QString> password;
        bool allowDowngrade = false;
        bool allowOtherProduct = false;
    };
    explicit CommandAnswers(Options options) : options_(std::move(options)) {}

    TArcAction entryFailed(const QString& entry, int nativeError, const QString& message) override;
    std::optional<QByteArray> password(const QString& entry) override;
    bool allowDowngrade(const QString&, const QString&, bool) override {
        return options_.allowDowngrade;
    }
    bool allowOtherProduct(const QString&, const QString&, const QString&) override {
        return options_.allowOtherProduct;
    }

private:
    Options options_;
    QString lastAsked_;  // the entry the password was given for last
};

}  // namespace selvanix::cli
