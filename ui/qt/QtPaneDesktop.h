#pragma once

#include <string>

#include "ui/PaneDesktop.h"

// The panes' desktop on Qt: the clipboard with plain text and HTML (and the X11 primary
// selection), the beep, the cursor on the control's viewport and context menus as QMenus.
class QtPaneDesktop : public IPaneDesktop {
  public:
    void Beep() override;
    std::vector<FormattedChar> SelectionFragment(const IPaneControl& control) const override;
    ClipboardFormats AvailableClipboardFormats() const override;
    bool PutClipboard(const std::string& text, const std::vector<FormattedChar>* rich,
                      Colour backColour) override;
    bool GetClipboardText(std::string& text) override;
    bool GetClipboardRich(std::vector<FormattedChar>& rich, Colour defaultText) override;
    void OfferSelection(const std::string& text) override;
    void SetCursor(IPaneControl& control, PaneCursor cursor) override;
    int ShowMenu(IPaneControl& control, const std::vector<PaneMenuItem>& items,
                 std::int32_t screenX, std::int32_t screenY) override;
    UrlOpener Opener() override;
};

class QAbstractScrollArea;

// Hands the widget's context-menu requests to the pane, at screen coordinates.
void RouteContextMenu(QAbstractScrollArea* area, IPaneEvents& events);

// The one desktop all Qt panes share; it keeps no state of its own.
IPaneDesktop& QtDesktop();

// Opens a URL with the desktop's handler (xdg-open), started directly without a shell; waits
// for the opener to finish. A URL that could be read as an option is refused, and a URL without
// a scheme ("www.") is opened as http.
void OpenUrlWithDesktop(const std::string& url);
