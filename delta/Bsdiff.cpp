#include "Bsdiff.h"

#include "ZstdFrames.h"

#include <divsufsort.h>
#include <QtEndian>
#include <algorithm>
#include <vector>

namespace selvanix::bsdiff {

namespace {

constexpr int kLevel = 19;
// Patch layout: the three frames' lengths, then the frames (control, differences, new bytes).
constexpr std::size_t kHeader = 24;

struct Control {
    std::int64_t diff = 0;   // bytes of new made as old + difference
    std::int64_t extra = 0;  // bytes of new sent as they are
    std::int64_t seek = 0;   // how far old moves after them
};

std::int64_t matchLength(std::span<const unsigned char> a, std::span<const unsigned char> b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && a[i] == b[i]) {
        ++i;
    }
    return static_cast<std::int64_t>(i);
}

// Whether a sorts before b over the shorter one's length. It stops at the first difference, as
// memcmp does in practice but not by contract: checked memcmp reads both ranges whole, which
// made a search quadratic.
bool precedes(std::span<const unsigned char> a, std::span<const unsigned char> b) {
    const std::size_t n = std::min(a.size(), b.size());
    const auto [x, y] =
        std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
    return x != a.begin() + static_cast<std::ptrdiff_t>(n) && *x < *y;
}

// The longest prefix of next that some suffix of old starts with, found by binary search over
// the sorted suffixes; pos gets where it starts in old.
std::int64_t search(const std::vector<saidx_t>& sa, std::span<const unsigned char> old,
                    std::span<const unsigned char> next, std::int64_t& pos) {
    std::int64_t st = 0;
    std::int64_t en = static_cast<std::int64_t>(sa.size()) - 1;
    while (en - st >= 2) {
        const std::int64_t x = st + (en - st) / 2;
        const auto suffix = old.subspan(static_cast<std::size_t>(sa[x]));
        if (precedes(suffix, next)) {
            st = x;
        } else {
            en = x;
        }
    }
    const std::int64_t x = matchLength(old.subspan(static_cast<std::size_t>(sa[st])), next);
    const std::int64_t y = matchLength(old.subspan(static_cast<std::size_t>(sa[en])), next);
    pos = x > y ? sa[st] : sa[en];
    return std::max(x, y);
}

void put64(QByteArray& out, std::int64_t v) {
    char bytes[8];
    qToLittleEndian<qint64>(v, bytes);
    out.append(bytes, 8);
}

class Differ {
public:
    Differ(std::span<const char> old, std::span<const char> next)
        : old_(reinterpret_cast<const unsigned char*>(old.data()), old.size()),
          new_(reinterpret_cast<const unsigned char*>(next.data()), next.size()),
          sa_(old.size()) {
        if (!old_.empty()) {
            divsufsort(old_.data(), sa_.data(), static_cast<saidx_t>(old_.size()));
        }
    }

    void run() {
        std::int64_t scan = 0;
        std::int64_t len = 0;
        std::int64_t pos = 0;
        const auto newSize = static_cast<std::int64_t>(new_.size());
        while (scan < newSize) {
            std::int64_t oldScore = 0;
            std::int64_t scsc = scan += len;
            for (; scan < newSize; ++scan) {
                len = sa_.empty() ? 0 : search(sa_, old_, new_.subspan(scan), pos);
                for (; scsc < scan + len; ++scsc) {
                    oldScore += agrees(scsc + lastOffset_, scsc) ? 1 : 0;
                }
                if ((len == oldScore && len != 0) || len > oldScore + 8) {
                    break;
                }
                oldScore -= agrees(scan + lastOffset_, scan) ? 1 : 0;
            }
            if (len != oldScore || scan == newSize) {
                takeRun(scan, pos);
            }
        }
    }

    QByteArray control;
    QByteArray differences;
    QByteArray extra;

private:
    bool agrees(std::int64_t oldAt, std::int64_t newAt) const {
        return oldAt >= 0 && oldAt < static_cast<std::int64_t>(old_.size()) &&
               old_[static_cast<std::size_t>(oldAt)] == new_[static_cast<std::size_t>(newAt)];
    }

    // The run since the last match, extended forward from it and backward from this one.
    void takeRun(std::int64_t scan, std::int64_t pos) {
        const auto oldSize = static_cast<std::int64_t>(old_.size());
        std::int64_t lenf = 0;
        for (std::int64_t i = 0, s = 0, best = 0; lastScan_ + i < scan && lastPos_ + i < oldSize;) {
            s += old_[lastPos_ + i] == new_[lastScan_ + i] ? 1 : 0;
            ++i;
            if (s * 2 - i > best * 2 - lenf) {
                best = s;
                lenf = i;
            }
        }
        std::int64_t lenb = 0;
        if (scan < static_cast<std::int64_t>(new_.size())) {
            for (std::int64_t i = 1, s = 0, best = 0; scan >= lastScan_ + i && pos >= i; ++i) {
                s += old_[pos - i] == new_[scan - i] ? 1 : 0;
                if (s * 2 - i > best * 2 - lenb) {
                    best = s;
                    lenb = i;
                }
            }
        }
        if (lastScan_ + lenf > scan - lenb) {
            const std::int64_t overlap = (lastScan_ + lenf) - (scan - lenb);
            std::int64_t lens = 0;
            for (std::int64_t i = 0, s = 0, best = 0; i < overlap; ++i) {
                s += new_[lastScan_ + lenf - overlap + i] == old_[lastPos_ + lenf - overlap + i]
                         ? 1
                         : 0;
                s -= new_[scan - lenb + i] == old_[pos - lenb + i] ? 1 : 0;
                if (s > best) {
                    best = s;
                    lens = i + 1;
                }
            }
            lenf += lens - overlap;
            lenb -= lens;
        }
        for (std::int64_t i = 0; i < lenf; ++i) {
            differences.append(static_cast<char>(new_[lastScan_ + i] - old_[lastPos_ + i]));
        }
        const std::int64_t extraLength = (scan - lenb) - (lastScan_ + lenf);
        extra.append(reinterpret_cast<const char*>(new_.data() + lastScan_ + lenf),
                     static_cast<qsizetype>(extraLength));
        put64(control, lenf);
        put64(control, extraLength);
        put64(control, (pos - lenb) - (lastPos_ + lenf));
        lastScan_ = scan - lenb;
        lastPos_ = pos - lenb;
        lastOffset_ = pos - scan;
    }

    std::span<const unsigned char> old_;
    std::span<const unsigned char> new_;
    std::vector<saidx_t> sa_;
    std::int64_t lastScan_ = 0;
    std::int64_t lastPos_ = 0;
    std::int64_t lastOffset_ = 0;
};

std::span<const char> spanOf(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

}  // namespace

QByteArray make(std::span<const char> old, std::span<const char> next) {
    Differ differ(old, next);
    differ.run();
    const QByteArray frames[] = {zstd::compress(spanOf(differ.control), kLevel, kMaxWindowLog),
                                 zstd::compress(spanOf(differ.differences), kLevel, kMaxWindowLog),
                                 zstd::compress(spanOf(differ.extra), kLevel, kMaxWindowLog)};
    QByteArray patch;
    for (const QByteArray& frame : frames) {
        if (frame.isEmpty()) {
            return {};
        }
        put64(patch, frame.size());
    }
    for (const QByteArray& frame : frames) {
        patch += frame;
    }
    return patch;
}

bool apply(std::span<const char> old, std::span<const char> patch, std::span<char> out) {
    if (patch.size() < kHeader) {
        return false;
    }
    std::span<const char> frames[3];
    std::size_t at = kHeader;
    for (int i = 0; i < 3; ++i) {
        const auto length =
            static_cast<std::uint64_t>(qFromLittleEndian<qint64>(patch.data() + 8 * i));
        if (length > patch.size() - at) {
            return false;
        }
        frames[i] = patch.subspan(at, length);
        at += length;
    }
    if (at != patch.size()) {
        return false;
    }
    zstd::FrameReader control(frames[0], kMaxWindowLog);
    zstd::FrameReader differences(frames[1], kMaxWindowLog);
    zstd::FrameReader extra(frames[2], kMaxWindowLog);
    const std::optional<std::uint64_t> controlSize = control.declaredSize();
    if (!controlSize || *controlSize > kMaxControl || *controlSize % 24 != 0) {
        return false;
    }
    const auto oldSize = static_cast<std::int64_t>(old.size());
    const auto newSize = static_cast<std::int64_t>(out.size());
    std::int64_t newPos = 0;
    std::int64_t oldPos = 0;
    for (std::uint64_t read = 0; read < *controlSize; read += 24) {
        char triple[24];
        if (!control.read(triple)) {
            return false;
        }
        const Control c{qFromLittleEndian<qint64>(triple), qFromLittleEndian<qint64>(triple + 8),
                        qFromLittleEndian<qint64>(triple + 16)};
        if (c.diff < 0 || c.extra < 0 || c.diff > newSize - newPos ||
            c.extra > newSize - newPos - c.diff || oldPos < 0 || c.diff > oldSize - oldPos) {
            return false;
        }
        char* const to = out.data() + newPos;
        if (!differences.read({to, static_cast<std::size_t>(c.diff)})) {
            return false;
        }
        const char* const from = old.data() + oldPos;
        for (std::int64_t i = 0; i < c.diff; ++i) {
            to[i] = static_cast<char>(static_cast<unsigned char>(to[i]) +
                                      static_cast<unsigned char>(from[i]));
        }
        newPos += c.diff;
        oldPos += c.diff;
        if (!extra.read({out.data() + newPos, static_cast<std::size_t>(c.extra)})) {
            return false;
        }
        newPos += c.extra;
        if (c.seek < -oldSize || c.seek > oldSize) {
            return false;
        }
        oldPos += c.seek;
    }
    return newPos == newSize && control.atEnd() && differences.atEnd() && extra.atEnd();
}

}  // namespace selvanix::bsdiff
