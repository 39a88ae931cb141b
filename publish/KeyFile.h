#pragma once

#include "config/Signature.h"

#include <QString>
#include <optional>

namespace selvanix::publish {

// The publisher's private key from its PEM file; nothing (with the reason reported) when the
// file cannot be read or holds no Ed25519 private key.
std::optional<signing::PrivateKey> loadPrivateKey(const QString& path);

}  // namespace selvanix::publish
