#pragma once

#include <QString>
#include <vector>

#include "ui/FormatCodes.h"

// Formatted text as the clipboard's HTML carries it. Characters without a colour of their own
// take defaultText; paragraph and line breaks become LF and no-break spaces plain spaces.
std::vector<FormattedChar> FormattedCharsFromHtml(const QString& html, Colour defaultText);

// HTML for a fragment (preformatted, one span per format run), for putting it on the clipboard.
QString HtmlFromFormattedChars(const std::vector<FormattedChar>& fragment, Colour backColour);
