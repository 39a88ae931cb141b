#pragma once

#include "Signature.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace selvanix {

// A delta the publisher made from an older release's archive.
struct IndexedDelta {
    QByteArray from;  // the older archive's SHA-256, lowercase hex
    QByteArray name;  // its file name beside the package
    std::uint64_t size = 0;
    QByteArray sha256;  // of the delta file
};

// The signed facts beside a package that its descriptor does not carry, one per line:
//   selvanix-index 1
//   purpose release-index
//   product <stem>
//   archive <SHA-256 of the archive>
//   deflate <how the publisher compressed its entries>
//   entry <local header offset> <SHA-256 of the entry's compressed bytes>   (per patched entry)
//   delta <from SHA-256> <size> <SHA-256> <file name>                        (per delta)
//   rollout <percent>              (the share of installations offered it unattended; 100
//                                   when absent)
//   podpis <base64 signature over every line above, line ends included>
// A reader skips lines of keywords it does not know, so later releases may add facts.
struct ReleaseIndex {
    QByteArray product;
    QByteArray archive;
    QByteArray deflate;
    std::map<std::uint64_t, QByteArray> entries;
    std::vector<IndexedDelta> deltas;
    std::optional<int> rollout{};  // 0..100

    // The index file: its lines and the signature over them.
    QByteArray text(const signing::PrivateKey& key) const;
    // The lines that are signed.
    QByteArray signedText() const;
    // The delta that starts from an archive of that SHA-256, if the publisher made one.
    const IndexedDelta* deltaFrom(const QByteArray& sha256) const;
};

inline constexpr std::int64_t kMaxReleaseIndexBytes = 1 << 20;

// The index in text, when one of keys signed it, for product; nothing for anything else. The
// signature is checked before a field is read.
std::optional<ReleaseIndex> readReleaseIndex(const QByteArray& text, const QByteArray& product,
                                             const std::vector<signing::PublicKey>& keys);

// The index's file name beside the package archive NAME ("NAME.index").
QString releaseIndexName(const QString& archiveName);

}  // namespace selvanix
