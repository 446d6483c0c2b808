#include "ScrollCodeAdapter.h"

#include "WindowMessages.h"

#include <QScrollBar>

namespace {

struct ActionCode {
    QAbstractSlider::SliderAction action;
    int code;
};
constexpr ActionCode kActionCodes[] = {
    {QAbstractSlider::SliderSingleStepSub, SB_LINELEFT}, {QAbstractSlider::SliderSingleStepAdd, SB_LINERIGHT},
    {QAbstractSlider::SliderPageStepSub, SB_PAGELEFT},   {QAbstractSlider::SliderPageStepAdd, SB_PAGERIGHT},
    {QAbstractSlider::SliderToMinimum, SB_LEFT},         {QAbstractSlider::SliderToMaximum, SB_RIGHT},
};

} // namespace

void ConnectScrollCodes(QScrollBar* bar, QObject* context,
                        const std::function<void(int code, int pos)>& onNotice) {
    bar->setTracking(false);
    QObject::connect(bar, &QAbstractSlider::actionTriggered, context, [bar, onNotice](int action) {
        const int target = bar->sliderPosition();
        int code = -1;
        for (const ActionCode& ac : kActionCodes) {
            if (ac.action == action) {
                code = ac.code;
            }
        }
        // The thumb's release is handled by sliderReleased; a wheel turn steps one line its way.
        if (action == QAbstractSlider::SliderMove && !bar->isSliderDown() && target != bar->value()) {
            code = target > bar->value() ? SB_LINERIGHT : SB_LINELEFT;
        }
        if (!bar->isSliderDown()) {
            bar->setSliderPosition(bar->value());
        }
        if (code >= 0) {
            onNotice(code, target);
        }
    });
    QObject::connect(bar, &QAbstractSlider::sliderMoved, context,
                     [onNotice](int pos) { onNotice(SB_THUMBTRACK, pos); });
    QObject::connect(bar, &QAbstractSlider::sliderReleased, context, [bar, onNotice] {
        onNotice(SB_THUMBPOSITION, bar->sliderPosition());
        onNotice(SB_ENDSCROLL, bar->value());
    });
}

void ApplyScrollCode(QScrollBar* bar, int code, int pos) {
    if (code == SB_THUMBPOSITION || code == SB_THUMBTRACK) {
        bar->setValue(pos);
        return;
    }
    for (const ActionCode& ac : kActionCodes) {
        if (ac.code == code) {
            bar->triggerAction(ac.action);
        }
    }
}
