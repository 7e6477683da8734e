#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/WindowMessage.h"
#include "ui/WindowPort.h"

struct PaneNotify;

// One top-level window: creates it through the platform, routes its messages to a virtual
// window procedure and runs the event loop, which calls OnTick after every message or batch.
class CWindow {
  public:
    static constexpr std::int32_t kDefaultPosition = static_cast<std::int32_t>(0x80000000u);
    static constexpr const char* kClassName = "OstrakClientWindow";
    // What a window is before Create and again after Destroy.
    static constexpr const char* kDefaultTitle = "Window";
    static constexpr std::int32_t kDefaultWidth = 320;
    static constexpr std::int32_t kDefaultHeight = 200;

    CWindow() = default;
    virtual ~CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    virtual bool Create(IPlatform* instance);
    virtual void Destroy();
    virtual std::intptr_t WndProc(WindowMessage& message);
    virtual void OnTick() {}
    virtual bool IsHighPerfMode() const { return false; }
    virtual void OnNotify(const PaneNotify& /*notify*/) {}

    // Runs the event loop until the window is destroyed or the application asked to quit.
    void Run();

    // Entry point for the port: delivers one message to the window procedure.
    std::intptr_t HandleMessage(WindowMessage& message) { return WndProc(message); }

    IWindowPort* Port() const { return m_hWnd.get(); }
    bool IsQuitting() const { return m_quit != 0; }
    bool IsActive() const { return m_active != 0; }

  protected:
    IPlatform* m_hInstance = nullptr;
    std::unique_ptr<IWindowPort> m_hWnd;
    std::string m_title = kDefaultTitle;
    std::uint8_t m_quit = 0;
    std::uint8_t m_active = 0;
    std::int32_t m_width = kDefaultWidth;
    std::int32_t m_height = kDefaultHeight;
    std::int32_t m_x = kDefaultPosition;
    std::int32_t m_y = kDefaultPosition;
};
