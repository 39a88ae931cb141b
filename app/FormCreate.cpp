#include "TFrDRozbal.h"
#include "engine/ProductTable.h"
#include "platform/FileOps.h"
#include "platform/Places.h"
#include "ui/DirectoryEdit.h"
#include "ui/RadioGroup.h"
#include "ui/WrappedText.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace selvanix {

namespace {

// Repaints the window however the handler ends.
class RepaintOnExit {
public:
    explicit RepaintOnExit(QWidget* window) : window_(window) {}
    RepaintOnExit(const RepaintOnExit&) = delete;
    RepaintOnExit& operator=(const RepaintOnExit&) = delete;
    ~RepaintOnExit() { window_->update(); }

private:
    QWidget* window_;
};

}  // namespace

void TFrDRozbal::FormCreate() {
    paintColours();
    const RepaintOnExit repaint(this);

    LbRadekC->hide();
    LbCizi->hide();
    LbStazeno->hide();
    ScReason->hide();
    LbKde->hide();
    LbVynechano->hide();
    ListBox->hide();
    ListBox->clear();
    PanInst->hide();
    PanStart->hide();
    BtnKonec->hide();
    PanNaselVicIni->hide();
    PanUvod->show();

    state.exac.clear();
    state.nazev.clear();
    state.verze.clear();
    state.run.clear();
    state.datum.clear();

    PanUvodniCheck->setMaximumHeight(222);
    setOuterSize(390, 530);

    state.cisloProgramu = 0;
    state.odkudinstC = 1;
    NactiCFG();
    if (state.cisloProgramu == 0) {
        state.cisloProgramu = 1;
    }
    if (const Product* product = productByCode(state.cisloProgramu)) {
        RgPrg->setItemIndex(product->radioIndex);
        RgPrg->setListIndex(product->radioIndex);
        // The first stop, with its focus shown from the start.
        RgPrg->button(product->radioIndex)->setFocus(Qt::TabFocusReason);
        state.naz = QString::fromUtf16(product->stem);
        nazini = QString::fromUtf16(product->descriptorName);
        nazzip = QString::fromUtf16(product->archiveName);
    }

    // What was saved comes back, so that a save does not lose it.
    EdOdkudCesta->setText(state.odkudCesta);
    LbOdkudCesta->show();
    EdOdkudCesta->show();
    if (state.source() == PackageSource::Internet) {
        RgZdroj->setItemIndex(0);
        LbOdkudCesta->hide();
        EdOdkudCesta->hide();
    } else if (state.source() == PackageSource::Folder) {
        RgZdroj->setItemIndex(1);
    }

    // Hidden in the search modes, the fields still hold the stored targets for the next save.
    for (int i = 0; i < kTargetCount; ++i) {
        EdKamCesta[i]->setText(state.KamCesta[i]);
        LbKamCesta[i]->setVisible(state.targetMode() == TargetMode::Fields);
        EdKamCesta[i]->setVisible(state.targetMode() == TargetMode::Fields);
    }
    // A portable copy lives beside its program; an installed one keeps the user's own files in
    // its folder, which is never a target.
    if (state.targetMode() == TargetMode::Fields && EdKamCesta[0]->text().isEmpty() &&
        !platform::ownPlaces().installed) {
        EdKamCesta[0]->setText(platform::installerFolder());
    }
    ProgressBar1->hide();
}

}  // namespace selvanix
