#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <span>

namespace selvanix::bsdiff {

// A patch that turns old into new by suffix sorting (the bsdiff method): runs of new that
// roughly match old are sent as bytewise differences, the rest as new bytes; control, the
// differences and the new bytes each go in a zstd frame. For contents below 2 GiB.
QByteArray make(std::span<const char> old, std::span<const char> next);

// Applies a patch to old into out, which has exactly the new contents' size. Nothing of the
// patch is trusted: a control that reaches outside old or out, frames that disagree with it
// or hold more or less, and any window beyond 2^kMaxWindowLog refuse it. Beyond old and out,
// it keeps the control (at most kMaxControl bytes) and two frame windows.
inline constexpr int kMaxWindowLog = 24;
inline constexpr std::uint64_t kMaxControl = 16 << 20;
bool apply(std::span<const char> old, std::span<const char> patch, std::span<char> out);

}  // namespace selvanix::bsdiff
