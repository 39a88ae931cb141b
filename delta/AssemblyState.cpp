#include "AssemblyState.h"

#include <QCryptographicHash>

#include <QList>
#include <algorithm>

namespace selvanix {

AssemblyState AssemblyState::of(const net::RemoteFile& remote) {
    AssemblyState state;
    state.size = remote.size;
    state.validator = remote.validator;
    state.tailSha256 = QCryptographicHash::hash(remote.tail, QCryptographicHash::Sha256).toHex();
    return state;
}

namespace {

constexpr char kFormLine[] = "selvanix-assembly 1";

}  // namespace

void ByteIntervals::add(qint64 at, qint64 length) {
    if (length <= 0) {
        return;
    }
    qint64 start = at;
    qint64 end = at + length;
    auto it = byStart_.upper_bound(start);
    if (it != byStart_.begin() && std::prev(it)->second >= start) {
        --it;
    }
    while (it != byStart_.end() && it->first <= end) {
        start = std::min(start, it->first);
        end = std::max(end, it->second);
        it = byStart_.erase(it);
    }
    byStart_.emplace(start, end);
}

std::vector<net::ByteRange> ByteIntervals::missing(qint64 at, qint64 length) const {
    std::vector<net::ByteRange> out;
    const qint64 end = at + length;
    qint64 cursor = at;
    auto it = byStart_.upper_bound(at);
    if (it != byStart_.begin()) {
        --it;
    }
    for (; it != byStart_.end() && it->first < end && cursor < end; ++it) {
        if (it->second <= cursor) {
            continue;
        }
        if (it->first > cursor) {
            out.push_back({cursor, it->first - cursor});
        }
        cursor = std::max(cursor, it->second);
    }
    if (cursor < end) {
        out.push_back({cursor, end - cursor});
    }
    return out;
}

qint64 ByteIntervals::total() const {
    qint64 sum = 0;
    for (const auto& [start, end] : byStart_) {
        sum += end - start;
    }
    return sum;
}

QByteArray AssemblyState::toText() const {
    QByteArray text = QByteArray(kFormLine) + "\nsize " + QByteArray::number(size) +
                      "\nvalidator " + validator + "\ntail " + tailSha256 + '\n';
    for (const auto& [start, end] : done.intervals()) {
        text += "done " + QByteArray::number(start) + ' ' + QByteArray::number(end) + '\n';
    }
    return text;
}

std::optional<AssemblyState> AssemblyState::fromText(const QByteArray& text) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 5 || lines[0] != kFormLine || !lines[1].startsWith("size ") ||
        !lines[2].startsWith("validator ") || !lines[3].startsWith("tail ") ||
        !lines.last().isEmpty()) {
        return std::nullopt;
    }
    AssemblyState state;
    bool ok = false;
    state.size = lines[1].mid(5).toLongLong(&ok);
    state.validator = lines[2].mid(10);
    state.tailSha256 = lines[3].mid(5);
    if (!ok || state.size <= 0 || state.validator.isEmpty() || state.tailSha256.size() != 64) {
        return std::nullopt;
    }
    for (qsizetype i = 4; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> words = lines[i].split(' ');
        bool okStart = false;
        bool okEnd = false;
        const qint64 start = words.size() == 3 ? words[1].toLongLong(&okStart) : -1;
        const qint64 end = words.size() == 3 ? words[2].toLongLong(&okEnd) : -1;
        if (words.size() != 3 || words[0] != "done" || !okStart || !okEnd || start < 0 ||
            end <= start || end > state.size) {
            return std::nullopt;
        }
        state.done.add(start, end - start);
    }
    return state;
}

}  // namespace selvanix
