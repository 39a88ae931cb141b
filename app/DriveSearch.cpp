#include "TFrDRozbal.h"

#include <QListWidget>
#include <QProgressBar>

namespace selvanix {

namespace {

class BarProgress : public SearchProgress {
public:
    explicit BarProgress(QProgressBar* bar) : bar_(bar) {}
    void show() override { bar_->show(); }
    void hide() override { bar_->hide(); }
    void setMaximum(int maximum) override { bar_->setMaximum(maximum); }
    void setPosition(int position) override { bar_->setValue(position); }

private:
    QProgressBar* bar_;
};

class WorkList : public SearchResults {
public:
    explicit WorkList(QListWidget* list) : list_(list) {}
    void append(const QString& folder) override { list_->addItem(folder); }

private:
    QListWidget* list_;
};

}  // namespace

void TFrDRozbal::GetDrives() {
    selvanix::GetDrives(state);
}

void TFrDRozbal::NajdiSouborHD(const QString& soubor, const QString& kde) {
    BarProgress a(BarStartA);
    BarProgress b(BarStartB);
    WorkList hits(ListBox);
    const SearchSkips skips = selvanix::NajdiSouborHD(soubor, kde, state, FileLists, hits, a, b);
    state.preskoceno = skips.refused;
    state.cizich = skips.foreign;
}

}  // namespace selvanix
