#pragma once

#include <cstdint>

#include "ui/Geometry.h"

// The messages a top-level window receives from its port, in the order and with the meaning
// the window procedure expects of them.
enum class WindowMessageType {
    GetMinMaxInfo,  // out: minTrackSize (outer size)
    Destroy,        // the window is being destroyed; it can still be measured
    Size,           // size = new client size
    Sizing,         // rect = proposed outer rectangle
    Activate,       // flag = activated
    Paint,
    Close,  // result 0 keeps the window
    EraseBackground,
    Command,         // id = command number, flag = from an accelerator
    Timer,           // id = timer identifier
    MouseMove,       // point = client position, flag = left button down
    LeftButtonDown,  // point = client position
    LeftButtonUp,    // point = client position
};

struct WindowMessage {
    WindowMessageType type = WindowMessageType::Paint;
    bool flag = false;
    int id = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    ::Size size;
    Rect rect;
    ::Size minTrackSize;  // filled by GetMinMaxInfo

    static WindowMessage Of(WindowMessageType type) {
        WindowMessage message;
        message.type = type;
        return message;
    }
};
