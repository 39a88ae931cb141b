#include "ReleaseIndex.h"

#include <QList>

namespace selvanix {

namespace {

constexpr char kFirstLine[] = "selvanix-index 1";
constexpr char kPurpose[] = "purpose release-index";

bool isSha256(const QByteArray& text) {
    return signing::isLowerHex(text, 64);
}

bool isNumber(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 19) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// A file name of the publisher's: no folders, no spaces, nothing a shell or a path would read
// as more.
bool isPlainName(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 200 || text.startsWith('.')) {
        return false;
    }
    for (const char c : text) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                        (c >= 'A' && c <= 'Z') || c == '.' || c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

// One line of the signed text; false when a known keyword's fields are malformed.
bool takeLine(ReleaseIndex& index, const QList<QByteArray>& f) {
    const QByteArray& key = f.front();
    if (key == "product" && f.size() == 2) {
        index.product = f[1];
    } else if (key == "archive" && f.size() == 2 && isSha256(f[1])) {
        index.archive = f[1];
    } else if (key == "deflate" && f.size() >= 2) {
        index.deflate = f.mid(1).join(' ');
    } else if (key == "entry" && f.size() == 3 && isNumber(f[1]) && isSha256(f[2])) {
        index.entries[f[1].toULongLong()] = f[2];
    } else if (key == "delta" && f.size() == 5 && isSha256(f[1]) && isNumber(f[2]) &&
               isSha256(f[3]) && isPlainName(f[4])) {
        index.deltas.push_back({f[1], f[4], f[2].toULongLong(), f[3]});
    } else if (key == "rollout" && f.size() == 2 && isNumber(f[1]) && f[1].size() <= 3 &&
               f[1].toInt() <= 100) {
        index.rollout = f[1].toInt();
    } else if (key == "product" || key == "archive" || key == "deflate" || key == "entry" ||
               key == "delta" || key == "rollout") {
        return false;
    }
    return true;  // a fact of a later release
}

}  // namespace

QByteArray ReleaseIndex::signedText() const {
    QByteArray out = QByteArray(kFirstLine) + '\n' + kPurpose + '\n';
    out += "product " + product + '\n';
    out += "archive " + archive + '\n';
    out += "deflate " + deflate + '\n';
    for (const auto& [offset, sha] : entries) {
        out += "entry " + QByteArray::number(offset) + ' ' + sha + '\n';
    }
    for (const IndexedDelta& d : deltas) {
        out += "delta " + d.from + ' ' + QByteArray::number(d.size) + ' ' + d.sha256 + ' ' +
               d.name + '\n';
    }
    if (rollout) {
        out += "rollout " + QByteArray::number(*rollout) + '\n';
    }
    return out;
}

QByteArray ReleaseIndex::text(const signing::PrivateKey& key) const {
    const QByteArray lines = signedText();
    return lines + "podpis " + key.sign(lines).toBase64() + '\n';
}

const IndexedDelta* ReleaseIndex::deltaFrom(const QByteArray& sha256) const {
    for (const IndexedDelta& d : deltas) {
        if (d.from == sha256) {
            return &d;
        }
    }
    return nullptr;
}

std::optional<ReleaseIndex> readReleaseIndex(const QByteArray& text, const QByteArray& product,
                                             const std::vector<signing::PublicKey>& keys) {
    if (text.size() > kMaxReleaseIndexBytes || !text.endsWith('\n')) {
        return std::nullopt;
    }
    const qsizetype last = text.lastIndexOf('\n', text.size() - 2);
    const QByteArray lines = text.left(last + 1);
    const QByteArray podpis = text.mid(last + 1).chopped(1);
    if (last < 0 || !podpis.startsWith("podpis ") ||
        !lines.startsWith(QByteArray(kFirstLine) + '\n' + kPurpose + '\n')) {
        return std::nullopt;
    }
    const std::optional<QByteArray> signature = signing::decodeSignature(podpis.mid(7));
    if (!signature || !signing::anyKeyVerifies(keys, lines, *signature)) {
        return std::nullopt;
    }
    ReleaseIndex index;
    const QList<QByteArray> all = lines.split('\n');
    for (qsizetype i = 2; i + 1 < all.size(); ++i) {
        const QList<QByteArray> fields = all[i].split(' ');
        if (fields.front().isEmpty() || !takeLine(index, fields)) {
            return std::nullopt;
        }
    }
    if (index.product != product || index.archive.isEmpty() || index.deflate.isEmpty()) {
        return std::nullopt;
    }
    return index;
}

QString releaseIndexName(const QString& archiveName) {
    return archiveName + QStringLiteral(".index");
}

}  // namespace selvanix
