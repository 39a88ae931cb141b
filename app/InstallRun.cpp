#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "PointSize.h"
#include "TFrDRozbal.h"
#include "engine/OutcomeDetail.h"
#include "engine/ProductTable.h"
#include "engine/RunProgress.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "ui/DirectoryEdit.h"
#include "ui/Label3D.h"
#include "ui/ListImage.h"
#include "ui/Look.h"
#include "ui/PaintNow.h"
#include "ui/WrappedText.h"

#include <QCheckBox>

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

// "14 MB"; below 10 MB with one decimal, as Czech writes it ("0,4 MB").
// Below a megabyte in kilobytes: a delta's few kilobytes would show as "0,0 MB".
QString megabytesText(qint64 bytes) {
    if (bytes < 1000000) {
        return QString::number(std::max<qint64>(1, qRound64(static_cast<double>(bytes) / 1e3))) +
               QStringLiteral(" kB");
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    return (mb < 10 ? QLocale(QLocale::Czech).toString(mb, 'f', 1)
                    : QString::number(qRound64(mb))) +
           QStringLiteral(" MB");
}

}  // namespace

RunRequest TFrDRozbal::request() const {
    RunRequest r;
    r.product = state.cisloProgramu;
    r.source = state.source();
    r.packageFolder = EdOdkudCesta->text();
    r.targetMode = state.targetMode();
    for (int i = 0; i < kTargetCount; ++i) {
        r.fields[i] = EdKamCesta[i]->text();
    }
    r.koukani = CbKoukani->isChecked();
    r.automaticky = CbAutomaticky->isChecked();
    r.baseUrl = BaseURL;
    r.channel = Channel;
    r.publicKey = PublicKey;
    return r;
}

void TFrDRozbal::BtnOKClick() {
    // 1. The run screen.
    PanNaselVicIni->hide();
    ListBox->hide();
    ScReason->hide();
    LbKde->hide();
    LbVynechano->hide();
    PanUvod->hide();
    ListBox->clear();
    PanStart->show();
    ImPanStart->show();
    finalScreen_ = false;
    BarStartA->hide();
    BarStartB->hide();
    nameBars(false);
    LbNadpisPanStart->setText(QStringLiteral("TARMOL software"));
    LbNadpisPanStart->setFixedHeight(51);
    LbDiraPanStart->setText(QString());
    LbDiraPanStart->setFixedHeight(10);
    LbRadekA->setText(QStringLiteral("Připravuji instalaci programu"));
    LbRadekA->setFixedHeight(40);
    LbRadekB->setFixedHeight(40);
    if (const Product* product = productByCode(state.cisloProgramu)) {
        LbRadekB->setText(QString::fromUtf16(product->bannerName));
        // A screen reader says which product's picture it is.
        const QString name =
            QStringLiteral("Obrázek programu ") + QString::fromUtf16(product->displayName);
        for (ui::ListImage* picture : {ImPanStart, ImPaninst}) {
            picture->setListIndex(product->pictureIndex);
            picture->setAccessibleName(name);
        }
    } else {
        LbRadekB->setText(QString());
    }
    ui::paintNow(this);
    // 2.-14. The run, each step shown as it comes.
    state.pocetradkuEXE = 0;
    engine_.run(request());
}

void TFrDRozbal::fetchingPackage() {
    ProgressBar1->setVisible(true);
}

void TFrDRozbal::archiveReused(qint64 fetched, qint64 size, qint64) {
    setLine(LbStazeno,
            QStringLiteral("Staženo %1 z %2, zbytek z minulé verze.")
                .arg(megabytesText(fetched), megabytesText(size)),
            12);
    LbStazeno->show();
}

void TFrDRozbal::packageLooked(const QString& folder, bool found) {
    state.odkudCesta = folder;
    state.pocetradkuINI = found ? 1 : 0;
    if (found) {
        state.cestabez = folder;
        state.Cestaini = folder + u'\\' + nazini;
        state.cestazip = folder + u'\\' + nazzip;
        ListBox->addItem(folder);
    }
    EdOdkudCesta->setText(folder);
}

void TFrDRozbal::packageMissing(PackageProblem problem, const QString& reason) {
    const auto [lineA, lineB] = problemHeadline(problem);
    setLine(LbRadekA, lineA, 20);
    setLine(LbRadekB, lineB, 20);
    PanInst->show();
    LbVerze->hide();
    LbDatum->hide();
    showReason(reason);
    showFinalScreen();
}

void TFrDRozbal::descriptorRead(const PackageInfo& info) {
    takeDescriptor(info);
    showDescriptor();
    // 9.-11. The targets.
    PanStartBar->show();
    BarStartA->show();
    BarStartB->show();
    PanInstTlacitka->hide();
    ui::paintNow(PanStart);
    ListBox->clear();
}

void TFrDRozbal::searchStarted(const QString& marker) {
    setLine(LbRadekC, QStringLiteral("Hledám program ") + marker, 0);
    LbRadekC->show();
    PanStartBar->show();
    ui::paintNow(PanStart);
}

void TFrDRozbal::searchEnded(const SearchSkips& skips) {
    state.refusedFolders = skips.refused;
    state.cizich = skips.foreign;
    LbRadekC->hide();
}

void TFrDRozbal::targetFound(const QString& target) {
    ++state.pocetradkuEXE;
    ListBox->addItem(target);
}

void TFrDRozbal::noTarget(const QString& reason, const SearchSkips& skips) {
    showSkippedFolders(skips);
    showNoTarget(reason);
}

bool TFrDRozbal::allowDowngrade(const QString& packageVersion, const QString& installedVersion,
                                bool comparable) {
    const QString question = comparable
                                 ? QStringLiteral(
                                       "Balíček má starší verzi %1, než je nainstalovaná verze %2. "
                                       "Přesto instalovat?")
                                       .arg(packageVersion, installedVersion)
                                 : QStringLiteral(
                                       "Verzi balíčku %1 nelze porovnat s nainstalovanou verzí %2. "
                                       "Přesto instalovat?")
                                       .arg(packageVersion, installedVersion);
    return platform::dialogs().confirm(QStringLiteral("Potvrzení"), question);
}

void TFrDRozbal::keysChanged(const QStringList& added, const QStringList& revoked) {
    setLine(LbRadekC, keysChangedDetail(added, revoked), 12);
    LbRadekC->show();
    ui::paintNow(PanStart);
}

bool TFrDRozbal::allowOtherProduct(const QString& target, const QString&, const QString& name) {
    return platform::dialogs().confirm(
        QStringLiteral("Potvrzení"),
        QStringLiteral(
            "Ve složce %1 je nainstalován jiný program (%2). Přesto do ní instalovat %3?")
            .arg(platform::displayPath(target), name, state.nazev));
}

void TFrDRozbal::targetStarted(const QString& target, int, int) {
    state.TmpCestaAdresar = target;
    installingInto_ = QStringLiteral("Instaluji do ") + platform::displayPath(target);
    nameBars(true);
    setLine(LbRadekC, installingInto_, 12);
    LbRadekC->show();
    ui::paintNow(PanStart);
    EdKamCesta[0]->setText(target);
}

void TFrDRozbal::targetFailed(const QString&, const QString& reason) {
    // The run ends here, the targets as they were; the reason names the target.
    LbRadekC->hide();
    setLine(LbRadekA, QStringLiteral("Instalace nebyla dokončena."), 20);
    setLine(LbRadekB, QStringLiteral("Složky zůstaly beze změny."), 12);
    LbVerze->hide();
    LbDatum->hide();
    showReason(reason);
    showFinalScreen();
    ui::paintNow(PanStart);
}

void TFrDRozbal::installed(const RunResult& result, const SearchSkips& skips,
                           const QString& startProblem) {
    LbRadekC->hide();
    ui::paintNow(PanStart);
    setLine(LbRadekA, QStringLiteral("Instalace byla dokončena."), 20);
    LbRadekB->setText(QStringLiteral("Instaloval jsem ") +
                      QString::number(result.installed + result.unchanged) + u'x');
    LbVerze->hide();
    LbDatum->hide();
    setLine(LbKde, installedDetail(result.version, result.targets), 12);
    LbKde->show();
    showSkippedFolders(skips);
    // Entries answered with Ignore kept their old files: the user learns how many.
    showLine(LbVynechano, result.skippedEntries > 0 ? QStringLiteral("Nenainstalováno souborů: ") +
                                                          QString::number(result.skippedEntries)
                                                    : QString());
    // Entries left out say which and why; a program that did not start says so after them.
    QStringList reasons;
    for (const QString& part :
         {result.outcome == RunOutcome::Skipped ? result.reason : QString(), startProblem}) {
        if (!part.isEmpty()) {
            reasons << part;
        }
    }
    showReason(reasons.join(u' '));
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

void TFrDRozbal::showReason(const QString& reason) {
    ScReason->setText(reason);
    ScReason->setVisible(!reason.isEmpty());
}

void TFrDRozbal::showLine(QLabel* label, const QString& text) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

// A search that could not look everywhere says so below the outcome.
void TFrDRozbal::showSkippedFolders(const SearchSkips& skips) {
    if (state.targetMode() != TargetMode::Fields && skips.refused > 0) {
        setLine(LbRadekC,
                QStringLiteral("Přeskočeno složek bez přístupu: ") + QString::number(skips.refused),
                12);
        LbRadekC->show();
    }
    if (state.targetMode() != TargetMode::Fields && skips.foreign > 0) {
        setLine(
            LbCizi,
            QStringLiteral("Přeskočeno složek jiných uživatelů: ") + QString::number(skips.foreign),
            12);
        LbCizi->show();
    }
}

void TFrDRozbal::showFinalScreen() {
    PanInstTlacitka->hide();
    PanStartBar->hide();
    ImPanStart->hide();  // under the outcome's lines; a low screen needs its height
    BtnKonec->show();
    finalScreen_ = true;
    ui::layOutNow();
    applyOuterSize();
    ui::layOutNow();
    // The one thing left to do: Return does it.
    BtnKonec->setFocus(Qt::OtherFocusReason);
    // The headline is seen even where Konec must then be scrolled to.
    scrollTo(LbRadekB);
    scrollTo(LbRadekA);
}

void TFrDRozbal::kopirujzWebu() {
    ProgressBar1->setVisible(true);
    const PackageFetched fetched =
        engine_.kopirujzWebu(BaseURL, {state.naz, nazini, nazzip}, PublicKey);
    iniAn = fetched.descriptor;
    zipAn = fetched.archive;
}

int TFrDRozbal::SpustFile(const QString& fileName, const QString& params, const QString& defaultDir,
                          int showCmd) {
    return engine_.SpustFile(fileName, params, defaultDir, showCmd);
}

void TFrDRozbal::extractionProgress(double percent) {
    PakovnaOverallProgress(percent);
}

// The run is synchronous: what it shows is painted at once.
void TFrDRozbal::extractionStatus(const QString& entry, std::optional<int> secondsLeft) {
    QString line = installingInto_ + QStringLiteral(": ") + platform::printableText(entry);
    if (secondsLeft) {
        line += QStringLiteral(", ") + timeLeftText(*secondsLeft);
    }
    LbRadekC->setText(line);
    LbRadekC->repaint();
    BarStartB->repaint();
}

void TFrDRozbal::PakovnaOverallProgress(double progress) {
    BarStartB->setValue(static_cast<int>(std::nearbyint(progress)));
}

}  // namespace selvanix
