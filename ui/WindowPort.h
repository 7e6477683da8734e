#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Geometry.h"
#include "ui/PaneControl.h"
#include "ui/WindowMessage.h"

class CWindow;

enum class MessageBoxKind {
    Error,                  // one OK button, error icon
    QuestionYesNoDefaultNo  // Yes and No, question icon, No as the default button
};

enum class MessageBoxAnswer { Ok, Yes, No };

// One entry of a save dialog's type list: its text and its pattern ("*.exe", "*.*").
struct FileFilter {
    std::string description;
    std::string pattern;
};

// One native top-level window. The port delivers the window's messages to its CWindow through
// CWindow::HandleMessage on the UI thread.
class IWindowPort : public IPaneFactory {
  public:
    ~IWindowPort() override = default;

    virtual void Show() = 0;
    // Destroys the window: the Destroy message is delivered first, while it can still be measured.
    virtual void DestroyWindow() = 0;
    virtual bool Exists() const = 0;
    // Outer rectangle in screen coordinates.
    virtual Rect GetWindowRect() const = 0;
    virtual ::Size GetClientSize() const = 0;
    // Outer size minus client size for the window's style without a menu.
    virtual ::Size GetFrameSize() const = 0;
    virtual void SetTitle(const std::string& title) = 0;

    virtual void StartTimer(int id, int periodMs) = 0;
    virtual void StopTimer(int id) = 0;
    virtual void SetMouseCapture(bool capture) = 0;
    // Fills a client rectangle (the splitter strip) with the window's stock colour.
    virtual void FillRect(const Rect& rect) = 0;
    // A message box owned by this window.
    virtual MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                            MessageBoxKind kind) = 0;
    // Wakes the event loop whenever the descriptor becomes readable; -1 stops watching.
    virtual void WatchSocket(int descriptor) = 0;
    // Asks for the player's attention (caption, task bar) until the window comes to the front.
    virtual void FlashUntilForeground() = 0;
    virtual void BringToFront() = 0;
    // Shows the icon of an image file on the window: 0, or the system's error code (the window
    // keeps its icon). An empty name gives the window the program's own icon again.
    virtual int SetIcon(const std::string& file) = 0;
    // A save dialog owned by this window that asks before overwriting; defaultExtension (no
    // dot, may be empty) is added to a name typed without one. False when cancelled.
    virtual bool AskSaveFileName(const std::vector<FileFilter>& filters,
                                 const std::string& defaultExtension, std::string& path) = 0;
    // The desktop's description of a file type (".exe"); empty when it knows none.
    virtual std::string FileTypeDescription(const std::string& extension) = 0;
};

struct WindowCreateParams {
    std::string className;
    std::string title;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool defaultPosition = false;
};

// The "instance" a window is created with: the platform's window system and event loop.
class IPlatform {
  public:
    virtual ~IPlatform() = default;

    // 0 on success, else the system's error code.
    virtual int RegisterWindowClass(const std::string& className) = 0;
    virtual void UnregisterWindowClass(const std::string& className) = 0;
    // On failure returns null and sets errorCode.
    virtual std::unique_ptr<IWindowPort> CreateWindow(const WindowCreateParams& params,
                                                      CWindow& owner, int& errorCode) = 0;
    // Processes pending events; with wait, blocks until at least one event arrived. Returns
    // false when the application was asked to quit.
    virtual bool ProcessEvents(bool wait) = 0;
    // A message box without an owner window.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxKind kind) = 0;
    virtual ITextMeasure& TextMeasure() = 0;
    // Outer size minus client size of a top-level window without a menu, before one exists.
    virtual ::Size DefaultFrameSize() = 0;
    virtual void Beep() = 0;
    // Starts playing a sound file and returns at once; a missing file or no sound service is
    // not reported.
    virtual void PlaySoundFile(const std::string& path) = 0;
};
