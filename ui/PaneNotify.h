#pragma once

#include <cstdint>
#include <string>

class CRichPane;

enum class PaneNotifyCode : int {
    LineEntered = 1,
    CharTyped = 2,
    SearchSelection = 3,
    SaveUrl = 4,
};

// What a pane tells the main window. `characterCode`/`modifiers` travel with CharTyped,
// `text` with SearchSelection (the selected text) and SaveUrl (the link).
struct PaneNotify {
    CRichPane* sender = nullptr;
    int id = 0;
    PaneNotifyCode code = PaneNotifyCode::LineEntered;
    unsigned characterCode = 0;
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
    std::string text;
};
