#include "ui/PaneMenu.h"

std::vector<PaneMenuItem> PaneMenuItems(bool isOutput) {
    using namespace PaneCommand;
    if (isOutput) {
        return {{kHoldOutput, "Hold Output\tCtrl+H"},
                {0, ""},
                {kGoogle, "Google\tCtrl+G"},
                {kCopy, "Copy\tCtrl+C"},
                {kCopyTagged, "Copy ZT4 Tagged\tCtrl+D"},
                {kCopyUrl, "Copy URL"},
                {kSaveUrl, "Save URL"},
                {kClear, "Clear\tCtrl+X"},
                {0, ""},
                {kSelectAll, "Select All\tCtrl+A"}};
    }
    return {{kBold, "Bold\tCtrl+B"},
            {kItalic, "Italic\tCtrl+I"},
            {kUnderline, "Underline\tCtrl+U"},
            {kStrikeout, "Strikeout\tCtrl+S"},
            {0, ""},
            {kCut, "Cut\tCtrl+X"},
            {kCopy, "Copy\tCtrl+C"},
            {kPaste, "Paste\tCtrl+V"},
            {kPastePlain, "Paste plain\tCtrl+P"},
            {0, ""},
            {kSelectAll, "Select All\tCtrl+A"}};
}

PaneMenuItemState MenuItemState(int command, const PaneMenuContext& context) {
    using namespace PaneCommand;
    PaneMenuItemState state;
    switch (command) {
        case kCut:
        case kCopy:
        case kCopyTagged:
        case kGoogle:
            state.enabled = context.hasSelection;
            break;
        case kPaste:
            state.enabled = context.clipboard.rich || context.clipboard.text;
            break;
        case kPastePlain:
            state.enabled = context.clipboard.text;
            break;
        case kCopyUrl:
            state.enabled = context.overUrl;
            break;
        case kSaveUrl:
            // Only links a download can fetch; the case is as the prefixes are written.
            state.enabled = context.overUrl && (context.hoverUrl.starts_with("http://") ||
                                                context.hoverUrl.starts_with("https://") ||
                                                context.hoverUrl.starts_with("www."));
            break;
        case kHoldOutput:
            state.checked = context.holdByUser;
            break;
        default:
            break;
    }
    return state;
}
