#include "ui/qt/PaneFont.h"

#include <algorithm>

QFont PaneFont(const std::string& face, unsigned pointSize) {
    QFont font(QString::fromLatin1(face.data(), static_cast<qsizetype>(face.size())));
    font.setPointSize(static_cast<int>(std::clamp(pointSize, 1u, 1000u)));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}
