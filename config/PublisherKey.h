#pragma once

#include "Signature.h"

#include <QString>
#include <optional>

namespace selvanix {

// The publisher's public key packages and updates must be signed with: "publickey" in section
// "SERVER" of the installer's settings file when present and not blank, otherwise the one
// built in (empty: none). Empty means signatures are not required.
QString readPublisherKey(const QString& settingsFile, const QString& builtIn);

// What a configured key text requires: no key (empty text), or a key. A text that is no
// valid key gives a key that verifies nothing, so nothing unsigned slips through a typo.
struct PublisherKey {
    bool required = false;
    std::optional<signing::PublicKey> key;

    static PublisherKey fromText(const QString& base64);
    bool verifies() const { return key.has_value(); }
};

}  // namespace selvanix
