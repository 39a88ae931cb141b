#include "TFrDRozbal.h"
#include "engine/ProductTable.h"
#include "ui/BitBtn.h"
#include "ui/DirectoryEdit.h"
#include "ui/RadioGroup.h"

#include <QLabel>
#include <QRadioButton>

namespace selvanix {

void TFrDRozbal::RGPrgClick() {
    const QString selected = RgPrg->selectedText();
    for (const Product& product : kProducts) {
        if (selected == QString::fromUtf16(product.displayName)) {
            state.cisloProgramu = product.code;
            state.naz = QString::fromUtf16(product.stem);
            nazini = QString::fromUtf16(product.descriptorName);
            nazzip = QString::fromUtf16(product.archiveName);
            RgPrg->setItemIndex(product.radioIndex);
            RgPrg->setListIndex(product.radioIndex);
            break;
        }
    }
    if (state.cisloProgramu != 0 && state.odkudinstC != 0) {
        BtnOK->setEnabled(false);
        explainDisabledInstall();
    }
    RgPrg->update();
}

void TFrDRozbal::preselect(std::optional<int> productCode, const std::optional<QString>& target) {
    if (const Product* product = productCode ? productByCode(*productCode) : nullptr) {
        state.cisloProgramu = product->code;
        state.naz = QString::fromUtf16(product->stem);
        nazini = QString::fromUtf16(product->descriptorName);
        nazzip = QString::fromUtf16(product->archiveName);
        RgPrg->setItemIndex(product->radioIndex);
        RgPrg->setListIndex(product->radioIndex);
        RgPrg->button(product->radioIndex)->setFocus(Qt::TabFocusReason);
    }
    if (target) {
        // The folder the notification named, where the user can see it: the target fields.
        state.cilinstalace = static_cast<int>(TargetMode::Fields);
        EdKamCesta[0]->setText(*target);
        for (int i = 0; i < kTargetCount; ++i) {
            LbKamCesta[i]->setVisible(true);
            EdKamCesta[i]->setVisible(true);
        }
    }
    BtnOK->setEnabled(true);
    RgPrg->update();
}

void TFrDRozbal::RgZdrojClick() {
    const QString selected = RgZdroj->selectedText();
    if (selected == u"Z internetu") {
        state.odkudinstC = 1;
        LbOdkudCesta->hide();
        EdOdkudCesta->hide();
    } else if (selected == u"Z pevného disku") {
        state.odkudinstC = 2;
        LbOdkudCesta->show();
        EdOdkudCesta->show();
    }
    if (state.cisloProgramu != 0 && state.odkudinstC != 0) {
        BtnOK->setEnabled(false);
        explainDisabledInstall();
    }
}

}  // namespace selvanix
