#include "config/PackageDescriptor.h"
#include "config/PackageSignature.h"
#include "config/PackageVersion.h"
#include "support/SignedPackage.h"

#include "support/TestDrives.h"

#include <gtest/gtest.h>

using namespace selvanix;
using selvanix::test::TestDrives;
using selvanix::test::writeBytes;

namespace {

TEST(PackageDescriptor, ReadsItsFiveKeys) {
    TestDrives drives;
    const QString c = drives.add(u'C');
    writeBytes(c + "/pkg/brodelik.ini",
               "[DEFINICE]\r\n"
               "hledany=brodelik.exe\r\n"
               "nazev=Brodelik 14\r\n"
               "verze=14,20\r\n"
               "datum=12.5.2023\r\n"
               "run=prog.exe=x\r\n"
               "venadr=ignored\r\n");
    const PackageDescriptor d = readPackageDescriptor("C:\\pkg\\\\brodelik.ini");
    EXPECT_EQ(d.hledany, std::optional<QString>("brodelik.exe"));
    EXPECT_EQ(d.nazev, std::optional<QString>("Brodelik 14"));
    EXPECT_EQ(d.verze, std::optional<QString>("14,20"));
    EXPECT_EQ(d.datum, std::optional<QString>("12.5.2023"));
    EXPECT_EQ(d.run, std::optional<QString>("prog.exe=x"));

    // Keys are compared exactly: a capital letter hides the key.
    writeBytes(c + "/pkg/quobr.ini", "[DEFINICE]\r\nNazev=Quobr\r\nVERZE=1\r\n");
    const PackageDescriptor other = readPackageDescriptor("C:\\pkg\\quobr.ini");
    EXPECT_FALSE(other.nazev.has_value());
    EXPECT_FALSE(other.verze.has_value());
}

TEST(PackageDescriptor, MissingKeysAndFilesStayEmpty) {
    TestDrives drives;
    const QString c = drives.add(u'C');
    writeBytes(c + "/a.ini", "[DEFINICE]\r\nnazev=A\r\n");
    const PackageDescriptor partial = readPackageDescriptor("C:\\a.ini");
    EXPECT_EQ(partial.nazev, std::optional<QString>("A"));
    EXPECT_FALSE(partial.hledany.has_value());
    EXPECT_FALSE(partial.run.has_value());
    const PackageDescriptor missing = readPackageDescriptor("C:\\none.ini");
    EXPECT_FALSE(missing.nazev || missing.verze || missing.datum || missing.run);
}

}  // namespace

namespace {

TEST(PackageVersion, ComparesNumberByNumberAndRefusesWhatItCannotRead) {
    using selvanix::compareVersions;
    using selvanix::VersionOrder;
    EXPECT_EQ(compareVersions("14,20", "9,00"), VersionOrder::Newer);  // not as text
    EXPECT_EQ(compareVersions("9,00", "14,20"), VersionOrder::Older);
    EXPECT_EQ(compareVersions("14,20", "14.20"), VersionOrder::Same);
    EXPECT_EQ(compareVersions("14,2", "14,20"), VersionOrder::Older);
    EXPECT_EQ(compareVersions("14", "14,00"), VersionOrder::Same);
    EXPECT_EQ(compareVersions(" 0.2 ", "0.1"), VersionOrder::Newer);
    for (const char* odd : {"", "14,20b", "v14", "14,,20", "1.2.", "-1", "99999999999"}) {
        EXPECT_EQ(compareVersions(QString::fromLatin1(odd), "1"), VersionOrder::Incomparable)
            << odd;
        EXPECT_EQ(compareVersions("1", QString::fromLatin1(odd)), VersionOrder::Incomparable)
            << odd;
    }
}

// A check for updates has only the descriptor: it verifies against the archive hash the
// descriptor names, and a descriptor that names none or another one does not pass.
TEST(PackageDescriptor, ADescriptorAloneVerifiesOnlyWithTheArchiveItNames) {
    const auto key = signing::PrivateKey::generate();
    const std::vector<signing::PublicKey> keys{key->publicKey()};
    const QByteArray archive = "the archive's bytes";
    const QDate today = QDate::currentDate();
    const test::Values v;
    PackageDescriptor d = parsePackageDescriptor(test::signedDescriptor(*key, archive, v, v));
    ASSERT_TRUE(d.archiv.has_value());
    EXPECT_EQ(checkDescriptor(d, QStringLiteral("brodelik"), keys, today), PackageCheck::Verified);
    EXPECT_EQ(checkDescriptor(d, QStringLiteral("quobr"), keys, today), PackageCheck::BadSignature);

    PackageDescriptor other = d;
    other.archiv = QString(64, u'0');
    EXPECT_EQ(checkDescriptor(other, QStringLiteral("brodelik"), keys, today),
              PackageCheck::BadSignature);
    other.archiv = d.archiv->toUpper();
    EXPECT_EQ(checkDescriptor(other, QStringLiteral("brodelik"), keys, today),
              PackageCheck::NoArchive);
    other.archiv.reset();
    EXPECT_EQ(checkDescriptor(other, QStringLiteral("brodelik"), keys, today),
              PackageCheck::NoArchive);
    other.podpis.reset();
    EXPECT_EQ(checkDescriptor(other, QStringLiteral("brodelik"), keys, today),
              PackageCheck::Unsigned);
    test::Values expired = v;
    expired.platnost = QStringLiteral("2020-01-01");
    EXPECT_EQ(checkDescriptor(
                  parsePackageDescriptor(test::signedDescriptor(*key, archive, expired, expired)),
                  QStringLiteral("brodelik"), keys, today),
              PackageCheck::Expired);
}

// Stable packages sign exactly the text they always signed; any other channel's name in the
// stem line keeps its packages from every copy of another channel, and from older copies.
TEST(PackageDescriptor, AChannelIsBoundIntoTheSignedStemOfNonStablePackagesOnly) {
    PackageDescriptor d;
    d.hledany = QStringLiteral("brodelik.exe");
    d.nazev = QStringLiteral("Brodelik");
    d.verze = QStringLiteral("14,20");
    d.datum = QStringLiteral("12.5.2023");
    const QByteArray hash(64, 'a');
    const QByteArray stable =
        "selvanix-package 2\nstem brodelik\nhledany brodelik.exe\n"
        "nazev Brodelik\nverze 14,20\ndatum 12.5.2023\nrun \nplatnost \n"
        "archive " +
        hash + "\n";
    EXPECT_EQ(packageSigningText(signedStem("brodelik", QString()), d, hash), stable);
    EXPECT_EQ(signedStem("brodelik", QStringLiteral("stable")), QStringLiteral("brodelik"));
    EXPECT_EQ(signedStem("brodelik", QStringLiteral("beta")), QStringLiteral("brodelik@beta"));

    const auto key = signing::PrivateKey::generate();
    d.podpis = QString::fromLatin1(
        key->sign(packageSigningText(QStringLiteral("brodelik@beta"), d, hash)).toBase64());
    const auto check = [&](const QString& channel) {
        return checkPackage(d, signedStem("brodelik", channel), hash, {key->publicKey()},
                            QDate::currentDate());
    };
    EXPECT_EQ(check(QStringLiteral("beta")), PackageCheck::Verified);
    EXPECT_EQ(check(QString()), PackageCheck::BadSignature);
    EXPECT_EQ(check(QStringLiteral("beta2")), PackageCheck::BadSignature);

    for (const char* name : {"beta", "rc-1", "X2"}) {
        EXPECT_TRUE(isChannelName(QString::fromLatin1(name))) << name;
    }
    for (const QString& name : {QString(), QStringLiteral("a/b"), QStringLiteral("a b"),
                                QStringLiteral("ěš"), QString(33, u'a'), QStringLiteral("..")}) {
        EXPECT_FALSE(isChannelName(name)) << name.toStdString();
    }
}

}  // namespace
