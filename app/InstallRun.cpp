#include <unistd.h>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "FailureDetail.h"
#include "PointSize.h"
#include "ProductTable.h"
#include "TFrDRozbal.h"
#include "config/PackageSignature.h"
#include "config/PublisherKey.h"
#include "locate/FolderSearch.h"
#include "platform/CheckedProgram.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/ShellOpen.h"
#include "profile/PrivateProfile.h"
#include "ui/DirectoryEdit.h"
#include "ui/Label3D.h"
#include "ui/ListImage.h"
#include "ui/Look.h"

namespace selvanix {

namespace {

constexpr quint32 kBlue = 16711680;

template <typename Label>
void setLine(Label* label, const QString& text, int points) {
    label->setText(text);
    if (points > 0) {
        QFont font = label->font();
        font.setPixelSize(pointsToPixels(points));
        label->setFont(font);
    }
}

// The work list holds folders without a trailing separator; the installer's own folder has one.
QString withoutTrailingSeparator(const QString& folder) {
    QString result = folder;
    while (result.size() > 1 && (result.endsWith(u'/') || result.endsWith(u'\\'))) {
        result.chop(1);
    }
    return result;
}

}  // namespace

void TFrDRozbal::BtnOKClick() {
    // 1. The run screen.
    PanNaselVicIni->hide();
    ListBox->hide();
    LbDuvod->hide();
    PanUvod->hide();
    ListBox->clear();
    PanStart->show();
    BarStartA->hide();
    BarStartB->hide();
    LbNadpisPanStart->setText(QStringLiteral("TARMOL software"));
    LbNadpisPanStart->setFixedHeight(51);
    LbDiraPanStart->setText(QString());
    LbDiraPanStart->setFixedHeight(10);
    LbRadekA->setText(QStringLiteral("Připravuji instalaci programu"));
    LbRadekA->setFixedHeight(40);
    LbRadekB->setFixedHeight(40);
    if (const Product* product = productByCode(state.cisloProgramu)) {
        LbRadekB->setText(QString::fromUtf16(product->bannerName));
        ImPanStart->setListIndex(product->pictureIndex);
        ImPaninst->setListIndex(product->pictureIndex);
    } else {
        LbRadekB->setText(QString());
    }
    repaint();

    // 2.-6. The package folder.
    GetDrives();
    const auto checkDescriptor = [this] {
        if (!state.odkudCesta.isEmpty()) {
            state.Cestaini = state.odkudCesta + u'\\' + nazini;
            if (platform::fileExists(state.Cestaini)) {
                ListBox->addItem(state.odkudCesta);
            }
        }
    };
    if (state.odkudinstC == 1) {
        kopirujzWebu();
        if (iniAn && zipAn) {
            state.odkudCesta = withoutTrailingSeparator(platform::installerFolder());
            checkDescriptor();
        }
    } else if (state.odkudinstC == 2) {
        state.odkudCesta = EdOdkudCesta->text();
        checkDescriptor();
    }
    EdOdkudCesta->setText(state.odkudCesta);
    state.pocetradkuINI = ListBox->count();

    // 7.-8. The descriptor.
    if (state.pocetradkuINI == 0) {
        const QString reason = state.odkudinstC == 1 && !downloadProblem_.isEmpty()
                                   ? downloadProblem_
                                   : missingPackageFile(state.odkudCesta, nazini);
        showNoPackage(QStringLiteral("Nebyl nalezen"), QStringLiteral("instalační balíček"),
                      reason);
        return;
    }
    state.cestabez = ListBox->item(0)->text();
    state.Cestaini = state.cestabez + u'\\' + nazini;
    state.cestazip = state.cestabez + u'\\' + nazzip;
    state.odkudCesta = state.cestabez;
    if (QFileInfo(platform::toHostPath(state.Cestaini)).size() > kMaxProfileBytes) {
        showNoPackage(QStringLiteral("Nebyl nalezen"), QStringLiteral("instalační balíček"),
                      oversizedDescriptor(state.cestabez, nazini));
        return;
    }
    if (!packageTrusted()) {
        return;
    }
    JedenINI();

    // 9.-11. The targets.
    PanStartBar->show();
    BarStartA->show();
    BarStartB->show();
    PanInstTlacitka->hide();
    PanStart->repaint();
    ListBox->clear();
    if (state.cilinstalace == 0) {
        for (const ui::DirectoryEdit* field : EdKamCesta) {
            if (!field->text().isEmpty()) {
                ListBox->addItem(field->text());
            }
        }
    } else {
        // A marker that could name something outside its folder is not searched for.
        if (!isMarkerName(state.exac)) {
            showNoTarget(badMarkerReason(nazini, state.exac));
            return;
        }
        setLine(LbRadekC, QStringLiteral("Hledám program ") + state.exac, 0);
        LbRadekC->show();
        PanStartBar->show();
        PanStart->repaint();
        NajdiSouborHD(state.exac, QStringLiteral("HD"));
        LbRadekC->hide();
    }
    state.pocetradkuEXE = ListBox->count();

    // 12. Nowhere to install.
    if (state.pocetradkuEXE == 0) {
        showSkippedFolders();
        showNoTarget(noTargetReason(state.cilinstalace, state.exac));
        return;
    }

    // 13.-14. Install into each target.
    const int count = ListBox->count();
    for (int i = 0; i < count; ++i) {
        const QString target = ListBox->item(i)->text();
        setLine(LbRadekC, QStringLiteral("Instaluji do ") + platform::displayPath(target), 12);
        LbRadekC->show();
        PanStart->repaint();
        try {
            dejtam(target);
        } catch (const std::exception& error) {
            // The run ends here and the error is reported; the screen says which target.
            showReason(installFailure(target, error));
            PanStart->repaint();
            throw;
        }
    }
    LbRadekC->hide();
    PanStart->repaint();
    setLine(LbRadekA, QStringLiteral("Instalace byla dokončena."), 20);
    LbRadekB->setText(QStringLiteral("Instaloval jsem ") + QString::number(count) + u'x');
    LbVerze->hide();
    LbDatum->hide();
    showSkippedFolders();
    showReason(startProblem_);
    showFinalScreen();
}

void TFrDRozbal::showNoTarget(const QString& reason) {
    setLine(LbRadekA, QStringLiteral("Chyba Instalace"), 30);
    setLine(LbRadekB, QStringLiteral("Nenašel jsem složku, kde máte"), 20);
    setLine(LbVerze, QStringLiteral("nainstalovanou předchozí"), 20);
    setLine(LbDatum, QStringLiteral("verzi programu."), 20);
    for (QLabel* label : {LbVerze, LbDatum}) {
        QFont font = label->font();
        font.setBold(false);
        font.setItalic(false);
        font.setUnderline(false);
        font.setStrikeOut(false);
        label->setFont(font);
        ui::setFontColor(label, ui::windowsColor(kBlue));
        label->show();
    }
    showReason(reason);
    showFinalScreen();
}

void TFrDRozbal::showNoPackage(const QString& lineA, const QString& lineB, const QString& reason) {
    setLine(LbRadekA, lineA, 20);
    setLine(LbRadekB, lineB, 20);
    PanInst->show();
    LbVerze->hide();
    LbDatum->hide();
    showReason(reason);
    showFinalScreen();
}

void TFrDRozbal::showReason(const QString& reason) {
    LbDuvod->setText(reason);
    LbDuvod->setVisible(!reason.isEmpty());
}

// With a publisher key configured nothing unsigned is shown, extracted or started.
bool TFrDRozbal::packageTrusted() {
    const PublisherKey publisher = PublisherKey::fromText(PublicKey);
    if (!publisher.required) {
        return true;
    }
    const PackageCheck check = publisher.verifies()
                                   ? checkPackage(state.Cestaini, state.cestazip, *publisher.key)
                                   : PackageCheck::BadSignature;
    switch (check) {
        case PackageCheck::Verified:
            return true;
        case PackageCheck::Unsigned:
            showNoPackage(QStringLiteral("Balíček není podepsán"),
                          QStringLiteral("instalace byla zastavena"),
                          QStringLiteral("Soubor %1 nenese podpis vydavatele.").arg(nazini));
            break;
        case PackageCheck::NoArchive:
            showNoPackage(QStringLiteral("Nebyl nalezen"), QStringLiteral("instalační balíček"),
                          missingPackageFile(state.cestabez, nazzip));
            break;
        case PackageCheck::BadSignature:
            showNoPackage(QStringLiteral("Podpis balíčku nesouhlasí"),
                          QStringLiteral("instalace byla zastavena"),
                          QStringLiteral("Balíček byl po podpisu změněn nebo je podepsán "
                                         "jiným klíčem."));
            break;
    }
    return false;
}

// A search that could not look everywhere says so below the outcome.
void TFrDRozbal::showSkippedFolders() {
    if (state.cilinstalace != 0 && state.preskoceno > 0) {
        setLine(
            LbRadekC,
            QStringLiteral("Přeskočeno složek bez přístupu: ") + QString::number(state.preskoceno),
            12);
        LbRadekC->show();
    }
    if (state.cilinstalace != 0 && state.cizich > 0) {
        setLine(
            LbCizi,
            QStringLiteral("Přeskočeno složek jiných uživatelů: ") + QString::number(state.cizich),
            12);
        LbCizi->show();
    }
}

void TFrDRozbal::showFinalScreen() {
    PanInstTlacitka->hide();
    PanStartBar->hide();
    BtnKonec->show();
}

void TFrDRozbal::dejtam(const QString& cesta) {
    state.TmpCestaAdresar = cesta;
    EdKamCesta[0]->setText(cesta);
    UlozCFG(cesta, platform::LinkAtName::Replace);
    rozbal();
    if (!state.run.isEmpty()) {
        SpustFile(state.run, QString(), cesta + u'\\', platform::SW_SHOWNORMAL);
    }
}

void TFrDRozbal::rozbal() {
    Pakovna.FileName = state.cestazip;
    Pakovna.OpenArchive(0);
    Pakovna.BaseDir = state.TmpCestaAdresar;
    Pakovna.BaseAnchor = state.TmpCestaAdresar;
    for (const char* mask : {"*.exe", "*.sql", "*.chm", "*.dll"}) {
        Pakovna.ExtractFiles(QString::fromLatin1(mask), DefaultSearchAttr, QString());
    }
    Pakovna.BaseDir = state.TmpCestaAdresar + QStringLiteral("\\pts");
    Pakovna.ExtractFiles(QStringLiteral("*.fr3"), DefaultSearchAttr, QString());
    Pakovna.CloseArchive();
}

int TFrDRozbal::SpustFile(const QString& fileName, const QString& params, const QString& defaultDir,
                          int showCmd) {
    const auto refused = [&](platform::CheckedProgram::Refusal why) {
        if (startProblem_.isEmpty()) {
            startProblem_ = programNotStarted(fileName, defaultDir, why);
        }
        return platform::SE_ERR_ACCESSDENIED;
    };
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(defaultDir);
    if (!folder) {
        return refused(platform::CheckedProgram::Refusal::Missing);
    }
    // The desktop's opener is for an ordinary user only: root opens no other files.
    const bool mayOpenOthers = ::geteuid() != 0;
    const platform::CheckedProgram program = platform::CheckedProgram::open(
        *folder, fileName, platform::OwnerRule::forProcess(), mayOpenOthers);
    if (program.refusal() != platform::CheckedProgram::Refusal::None) {
        return refused(program.refusal());
    }
    platform::ShellRequest request{fileName, params, defaultDir, showCmd};
    request.program = program.descriptor();
    request.workingFolder = folder->descriptor();
    return platform::shell().open(request);
}

void TFrDRozbal::PakovnaOverallProgress(double progress) {
    BarStartB->setValue(static_cast<int>(std::nearbyint(progress)));
}

}  // namespace selvanix
