#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/FormatCodes.h"
#include "ui/LinkWorker.h"
#include "ui/PaneControl.h"

// The mouse cursor a pane shows.
enum class PaneCursor { Arrow, Hand, IBeam };

// One item of a context menu; command 0 is a separator. The text carries the accelerator after
// a tab ("Copy\tCtrl+C").
struct PaneMenuItem {
    int command = 0;
    std::string text;
    bool enabled = true;
    bool checked = false;
};

// What the clipboard holds that a paste can use.
struct ClipboardFormats {
    bool rich = false;  // formatted text
    bool text = false;  // plain text
};

// The desktop services of the panes: clipboard, beep, cursor, context menu and the URL opener.
// Everything but the opener is called on the user-interface thread.
class IPaneDesktop {
  public:
    virtual ~IPaneDesktop() = default;

    virtual void Beep() = 0;
    // The selected characters of the control with the format of each.
    virtual std::vector<FormattedChar> SelectionFragment(const IPaneControl& control) const = 0;
    virtual ClipboardFormats AvailableClipboardFormats() const = 0;
    // Replaces the clipboard's content with the text and, when rich is given, its formatted
    // form (backColour is the pane's background). False when nothing could be placed.
    virtual bool PutClipboard(const std::string& text, const std::vector<FormattedChar>* rich,
                              Colour backColour) = 0;
    // False when the clipboard holds no such form.
    virtual bool GetClipboardText(std::string& text) = 0;
    virtual bool GetClipboardRich(std::vector<FormattedChar>& rich, Colour defaultText) = 0;
    // Text just selected, for desktops that paste it with the middle button.
    virtual void OfferSelection(const std::string&) {}
    virtual void SetCursor(IPaneControl& control, PaneCursor cursor) = 0;
    // Shows the menu at a screen point, owned by the control; the command chosen, 0 for none.
    virtual int ShowMenu(IPaneControl& control, const std::vector<PaneMenuItem>& items,
                         std::int32_t screenX, std::int32_t screenY) = 0;
    // The opener the panes' link workers call.
    virtual UrlOpener Opener() = 0;
};
