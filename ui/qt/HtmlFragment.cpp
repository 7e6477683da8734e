#include "ui/qt/HtmlFragment.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "ui/qt/QtColour.h"

namespace {

CharFormat FormatOf(const QTextCharFormat& format, Colour defaultText) {
    CharFormat result;
    result.mask = CharFormat::kEffects | CharFormat::kColour;
    if (format.fontWeight() >= QFont::DemiBold) result.effects |= CharFormat::kBold;
    if (format.fontItalic()) result.effects |= CharFormat::kItalic;
    if (format.fontUnderline()) result.effects |= CharFormat::kUnderline;
    if (format.fontStrikeOut()) result.effects |= CharFormat::kStrikeout;
    result.textColour = format.foreground().style() != Qt::NoBrush
                            ? FromQColor(format.foreground().color())
                            : defaultText;
    if (format.background().style() != Qt::NoBrush) {
        result.mask |= CharFormat::kBackColour;
        result.backColour = FromQColor(format.background().color());
    }
    return result;
}

QString CssColour(Colour colour) { return ToQColor(colour).name(QColor::HexRgb); }

QString StyleOf(const CharFormat& format) {
    QString style;
    if (format.mask & CharFormat::kColour) style += "color:" + CssColour(format.textColour) + ";";
    if (format.mask & CharFormat::kBackColour) {
        style += "background-color:" + CssColour(format.backColour) + ";";
    }
    const std::uint32_t effects = format.effects & format.mask;
    if (effects & CharFormat::kBold) style += "font-weight:bold;";
    if (effects & CharFormat::kItalic) style += "font-style:italic;";
    const bool underline = (effects & CharFormat::kUnderline) != 0;
    const bool strikeout = (effects & CharFormat::kStrikeout) != 0;
    if (underline || strikeout) {
        style += "text-decoration:";
        if (underline) style += " underline";
        if (strikeout) style += " line-through";
        style += ";";
    }
    return style;
}

}  // namespace

std::vector<FormattedChar> FormattedCharsFromHtml(const QString& html, Colour defaultText) {
    QTextDocument document;
    document.setHtml(html);
    std::vector<FormattedChar> result;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin()) {
            result.push_back(FormattedChar{u'\n', FormatOf(block.charFormat(), defaultText)});
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const CharFormat format = FormatOf(fragment.charFormat(), defaultText);
            for (const QChar character : fragment.text()) {
                char16_t c = character.unicode();
                if (c == 0x2028 || c == 0x2029) c = u'\n';
                if (c == 0x00A0) c = u' ';
                result.push_back(FormattedChar{c, format});
            }
        }
    }
    return result;
}

QString HtmlFromFormattedChars(const std::vector<FormattedChar>& fragment, Colour backColour) {
    QString html = "<html><body><pre style=\"background-color:" + CssColour(backColour) + ";\">";
    std::size_t i = 0;
    while (i < fragment.size()) {
        const CharFormat& format = fragment[i].format;
        QString text;
        for (; i < fragment.size() && fragment[i].format == format; ++i) {
            const char16_t c = fragment[i].character;
            // A CR before a LF is the line end's first half; the LF alone makes the break.
            if (c == u'\r') continue;
            text.append(QChar(c));
        }
        html += "<span style=\"" + StyleOf(format) + "\">" + text.toHtmlEscaped() + "</span>";
    }
    html += "</pre></body></html>";
    return html;
}
