#include "config/KeyStatement.h"
#include "config/PublisherKey.h"
#include "config/Signature.h"

#include <gtest/gtest.h>

using namespace selvanix;

namespace {

struct Key {
    signing::PrivateKey secret = *signing::PrivateKey::generate();
    QString base64() const { return QString::fromLatin1(secret.publicKey().base64()); }
    QByteArray statement(KeyChangeKind kind, const Key& subject) const {
        const QByteArray changed = subject.base64().toLatin1();
        const QByteArray by = base64().toLatin1();
        return keyStatementText(kind, changed, by, secret.sign(keySigningText(kind, changed, by)));
    }
};

TEST(KeyStatements, ATrustedKeyAddsAndRevokesAndRevocationsWin) {
    const Key first;
    const Key second;
    const Key thief;
    const TrustedKeys start{{first.base64()}, {}};
    // Moving on: the first key adds the second, which may then retire the first.
    const QByteArray moved = first.statement(KeyChangeKind::Add, second) + "\n" +
                             second.statement(KeyChangeKind::Revoke, first);
    const TrustedKeys after = applyKeyStatements(moved, start);
    EXPECT_EQ(after.trusted, QStringList{second.base64()});
    EXPECT_EQ(after.revoked, QStringList{first.base64()});
    // Applied again (every run reads the same file), nothing changes.
    EXPECT_EQ(applyKeyStatements(moved, after), after);

    // A key nobody trusts adds nothing; a revoked key signs nothing, not even its own return.
    EXPECT_EQ(applyKeyStatements(thief.statement(KeyChangeKind::Add, thief), start), start);
    EXPECT_EQ(applyKeyStatements(first.statement(KeyChangeKind::Add, thief), after), after);
    EXPECT_EQ(applyKeyStatements(second.statement(KeyChangeKind::Add, first), after), after);

    // A statement altered after signing counts for nothing.
    QByteArray altered = first.statement(KeyChangeKind::Add, second);
    altered.replace(second.base64().toLatin1(), thief.base64().toLatin1());
    EXPECT_EQ(applyKeyStatements(altered, start), start);
    EXPECT_EQ(applyKeyStatements("selvanix-key 1\nadd x\nby y\npodpis z\n", start), start);
    EXPECT_EQ(applyKeyStatements(QByteArray(kMaxKeyStatementsBytes + 1, '\n') + moved, start),
              start);
}

// The same 32 bytes have other base64 spellings: without the padding, or with bits set past
// the key's end. Every list compares them as the key they decode to.
TEST(KeyStatements, AKeyUnderAnotherSpellingIsTheSameKeyEverywhere) {
    const Key a;
    const QString padded = a.base64();
    QString unpadded = padded;
    unpadded.chop(1);
    QString stray = padded;
    stray[42] = QChar::fromLatin1(static_cast<char>(stray[42].toLatin1() + 1));
    ASSERT_NE(stray, padded);
    for (const QString& other : {unpadded, stray}) {
        EXPECT_EQ(canonicalKey(other), std::optional<QString>(padded)) << other.toStdString();
        EXPECT_EQ(misspelledKeys(padded + u' ' + other), QStringList{other});
        // Revoked in one spelling, the key is gone in every other.
        EXPECT_TRUE(keysNotRevoked(padded, {other}).isEmpty());
        EXPECT_TRUE(keysNotRevoked(other, {padded}).isEmpty());
        // Configured in another spelling, it verifies nothing: a key is still required.
        const PublisherKey configured = PublisherKey::fromText(other);
        EXPECT_TRUE(configured.required);
        EXPECT_FALSE(configured.verifies());
    }
    EXPECT_TRUE(PublisherKey::fromText(padded).verifies());
    EXPECT_FALSE(canonicalKey(QStringLiteral("not a key")));

    // A thief holding A gets "A adds A'" read: it adds nothing, so revoking A ends A.
    const QByteArray aPrime = unpadded.toLatin1();
    const QByteArray by = padded.toLatin1();
    const QByteArray sneaky =
        keyStatementText(KeyChangeKind::Add, aPrime, by,
                         a.secret.sign(keySigningText(KeyChangeKind::Add, aPrime, by)));
    const TrustedKeys start{{padded}, {}};
    EXPECT_EQ(applyKeyStatements(sneaky, start), start);
    // Statements signed under another spelling of the signer count for nothing either.
    const Key b;
    const QByteArray added = b.base64().toLatin1();
    const QByteArray byOther =
        keyStatementText(KeyChangeKind::Add, added, aPrime,
                         a.secret.sign(keySigningText(KeyChangeKind::Add, added, aPrime)));
    EXPECT_EQ(applyKeyStatements(byOther, start), start);
    // A revocation written in another spelling still stops the key signing statements.
    const TrustedKeys revokedOtherwise =
        applyKeyStatements(a.statement(KeyChangeKind::Add, b), TrustedKeys{{padded}, {unpadded}});
    EXPECT_FALSE(revokedOtherwise.trusted.contains(b.base64()));
    EXPECT_TRUE(
        applyKeyStatements(a.statement(KeyChangeKind::Add, b), start).trusted.contains(b.base64()));
}

}  // namespace
