#include "ui/qt/QtTextMeasure.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QWidget>

#include "ui/qt/PaneFont.h"
#include "ui/qt/QtPaneControl.h"

Size QtTextMeasure::MeasureText(const std::string& face, unsigned pointSize,
                                std::string_view text) {
    if (qApp == nullptr || pointSize == 0) return Size{};
    // The widest form of the pane font, so that a measured width is never too small.
    QFont font = PaneFont(face, pointSize);
    font.setBold(true);
    font.setItalic(true);
    font.setUnderline(true);
    font.setStrikeOut(true);
    const QFontMetrics metrics(font);
    const QString string = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return Size{metrics.horizontalAdvance(string), metrics.height()};
}

std::int32_t QtTextMeasure::ControlFrameWidth(bool isOutput) {
    if (qApp == nullptr) return 0;
    // Borders, scroll bar and margins do not depend on the width; measure a throwaway control.
    NullPaneEvents events;
    QWidget host;
    auto control = CreateQtPaneControl(&host, isOutput, Rect{0, 0, 400, 200}, events);
    QtPaneControl* qtControl = AsQtPaneControl(control.get());
    qtControl->Widget()->ensurePolished();
    // Lay out the frame and scroll bar without showing anything on screen.
    qtControl->Widget()->setAttribute(Qt::WA_DontShowOnScreen);
    host.setAttribute(Qt::WA_DontShowOnScreen);
    host.resize(400, 200);
    host.show();
    const std::int32_t width = qtControl->Widget()->width() - control->GetFormattingRect().Width();
    host.hide();
    return width;
}

std::unique_ptr<ITextMeasure> CreateQtTextMeasure() { return std::make_unique<QtTextMeasure>(); }
