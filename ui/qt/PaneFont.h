#pragma once

#include <QFont>
#include <string>

// The font both panes show their text in, and the text measure measures with: the face at the
// size in points (kept between 1 and 1000), fixed pitch when the face is missing.
QFont PaneFont(const std::string& face, unsigned pointSize);
