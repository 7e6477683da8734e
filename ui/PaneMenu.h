#pragma once

#include <string>
#include <vector>

#include "ui/PaneDesktop.h"

// The commands of the panes' context menus and accelerators.
namespace PaneCommand {
constexpr int kCut = 40001;
constexpr int kCopy = 40002;
constexpr int kPaste = 40003;
constexpr int kCopyUrl = 40005;
constexpr int kSelectAll = 40006;
constexpr int kHoldOutput = 40007;
constexpr int kClear = 40008;
constexpr int kPastePlain = 40009;
constexpr int kCopyTagged = 40010;
constexpr int kBold = 40011;
constexpr int kItalic = 40012;
constexpr int kUnderline = 40013;
constexpr int kStrikeout = 40014;
constexpr int kGoogle = 40015;
constexpr int kSaveUrl = 40016;
}  // namespace PaneCommand

// The context menu of the output pane or of the input line, every item enabled.
std::vector<PaneMenuItem> PaneMenuItems(bool isOutput);

// What decides the state of the menu items.
struct PaneMenuContext {
    bool hasSelection = false;
    ClipboardFormats clipboard;
    bool overUrl = false;
    std::string hoverUrl;
    bool holdByUser = false;
};

struct PaneMenuItemState {
    bool enabled = true;
    bool checked = false;
};

PaneMenuItemState MenuItemState(int command, const PaneMenuContext& context);
