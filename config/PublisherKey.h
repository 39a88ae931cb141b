#pragma once

#include "Signature.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace selvanix {

// The publisher's public key packages and updates must be signed with: "publickey" in section
// "SERVER" of the installer's settings file when present and not blank, otherwise the one
// built in (empty: none). Empty means signatures are not required.
// Keys listed in "revokedkeys" of the same section are left out, built-in ones too.
QString readPublisherKey(const QString& settingsFile, const QString& builtIn);
// The keys "revokedkeys" names, each in its one spelling whichever it was written in: they
// verify nothing, whoever lists them.
QStringList readRevokedKeys(const QString& settingsFile);
// Writes the keys a key statement left: "publickey" and "revokedkeys" of section SERVER.
void saveTrustedKeys(const QString& settingsFile, const QStringList& trusted,
                     const QStringList& revoked);
// The words of a key text (keys separated by blanks or commas).
QStringList keyWords(const QString& text);
// A key's one spelling: its 32 bytes in padded base64. Keys are compared in it everywhere,
// as "AB..=" and "AB.." decode to the same key. Nothing for a word that is no key.
std::optional<QString> canonicalKey(const QString& word);
// The words of a key text that decode to a key but are not written in its one spelling.
QStringList misspelledKeys(const QString& text);
// The keys of a key text that revoked does not name.
QStringList keysNotRevoked(const QString& keys, const QStringList& revoked);
// The key text without the revoked keys; with every key revoked, a word that verifies
// nothing, so signatures stay required. An empty text stays empty.
QString withoutRevoked(const QString& keys, const QStringList& revoked);

// What a configured key text requires: no key (empty text), or keys, any of which verifies
// (padded base64, separated by blanks or commas, so a publisher can move from one to the
// next). A word that is no key in its one spelling verifies nothing, so nothing unsigned
// slips through a typo and no other spelling escapes a revocation.
struct PublisherKey {
    bool required = false;
    std::vector<signing::PublicKey> keys;

    static PublisherKey fromText(const QString& base64);
    bool verifies() const { return !keys.empty(); }
};

}  // namespace selvanix
