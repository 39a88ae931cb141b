#pragma once

#include "platform/ErrorReport.h"

#include <exception>
#include <utility>

namespace selvanix::ui {

// Wraps a handler so that an error it raises ends the handler and reaches the standard error
// report instead of unwinding through the toolkit.
template <typename Handler>
auto guarded(Handler handler) {
    return [handler = std::move(handler)]() {
        try {
            handler();
        } catch (const std::exception& error) {
            platform::reportError(error);
        } catch (...) {
            platform::reportError(QStringLiteral("Unknown error"));
        }
    };
}

}  // namespace selvanix::ui
