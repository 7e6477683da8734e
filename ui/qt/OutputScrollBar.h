#pragma once

#include <QRect>
#include <QScrollBar>

// The output pane's scroll bar. Text pouring in changes its range many times a second, while its
// handle moves by a pixel only every so many rows; set through Show, it repaints only when what
// it shows changed.
class OutputScrollBar : public QScrollBar {
  public:
    explicit OutputScrollBar(QWidget* parent = nullptr) : QScrollBar(Qt::Vertical, parent) {}

    void Show(int maximum, int pageStep, int value);

  protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // What a paint shows: where the handle lies and whether it or an end button is live.
    struct Look {
        QRect handle;
        int flags = 0;
        bool operator==(const Look&) const = default;
    };
    Look CurrentLook() const;

    Look m_painted;
    bool m_hasPainted = false;
    bool m_inShow = false;
};
