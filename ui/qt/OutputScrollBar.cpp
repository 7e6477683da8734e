#include "ui/qt/OutputScrollBar.h"

#include <QStyle>
#include <QStyleOptionSlider>

OutputScrollBar::Look OutputScrollBar::CurrentLook() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    Look look;
    look.handle =
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    look.flags = (option.maximum > option.minimum ? 1 : 0) |
                 (option.sliderPosition <= option.minimum ? 2 : 0) |
                 (option.sliderPosition >= option.maximum ? 4 : 0) | (isSliderDown() ? 8 : 0);
    return look;
}

void OutputScrollBar::Show(int maximum, int pageStep, int value) {
    // Between the single changes the bar may look different (a new range with the old value),
    // so it is compared once they are all made.
    m_inShow = true;
    setRange(0, maximum);
    setPageStep(pageStep);
    setValue(value);
    m_inShow = false;
    if (!m_hasPainted || !(CurrentLook() == m_painted)) update();
}

void OutputScrollBar::sliderChange(SliderChange change) {
    // The base only repaints.
    if (m_inShow) return;
    QScrollBar::sliderChange(change);
}

void OutputScrollBar::paintEvent(QPaintEvent* event) {
    m_painted = CurrentLook();
    m_hasPainted = true;
    QScrollBar::paintEvent(event);
}
