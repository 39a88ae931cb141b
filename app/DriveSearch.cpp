#include "TFrDRozbal.h"

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

}  // namespace

// The search's folders in BarStartA, its drives in BarStartB.
SearchProgress& TFrDRozbal::searchProgress(int which) {
    std::unique_ptr<SearchProgress>& bar = searchBars_[which == 0 ? 0 : 1];
    if (!bar) {
        bar = std::make_unique<BarProgress>(which == 0 ? BarStartA : BarStartB);
    }
    return *bar;
}

}  // namespace selvanix
