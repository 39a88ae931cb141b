#include "config/KeyStatement.h"
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

}  // namespace
