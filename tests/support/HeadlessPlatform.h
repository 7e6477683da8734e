#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/Window.h"
#include "ui/WindowPort.h"

// Text measured in a fixed-pitch font of kCharWidth x kCharHeight pixels per character.
class FixedTextMeasure : public ITextMeasure {
  public:
    static constexpr std::int32_t kCharWidth = 8;
    static constexpr std::int32_t kCharHeight = 16;
    static constexpr std::int32_t kFrameWidth = 10;

    Size MeasureText(const std::string&, unsigned, std::string_view text) override {
        return Size{static_cast<std::int32_t>(text.size()) * kCharWidth, kCharHeight};
    }
    std::int32_t ControlFrameWidth(bool) override { return kFrameWidth; }
};

struct RecordedSaveDialog {
    std::vector<FileFilter> filters;
    std::string defaultExtension;
};

struct RecordedMessageBox {
    std::string text;
    std::string caption;
    MessageBoxKind kind;
};

class HeadlessPlatform;

// A window that exists only in memory: its geometry is set by the test, and its messages are
// whatever the test delivers.
class HeadlessWindow : public IWindowPort {
  public:
    HeadlessWindow(HeadlessPlatform& platform, CWindow& owner, const WindowCreateParams& params);

    void Show() override { m_shown = true; }
    void DestroyWindow() override;
    bool Exists() const override { return m_exists; }
    Rect GetWindowRect() const override { return m_rect; }
    ::Size GetClientSize() const override;
    ::Size GetFrameSize() const override;
    void SetTitle(const std::string& title) override { m_title = title; }
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void SetMouseCapture(bool capture) override { m_captured = capture; }
    void FillRect(const Rect& rect) override { m_filled.push_back(rect); }
    MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                    MessageBoxKind kind) override;
    void WatchSocket(int descriptor) override { m_watchedSocket = descriptor; }
    void FlashUntilForeground() override { ++m_flashes; }
    void BringToFront() override { ++m_raises; }
    // The platform's m_savePath is the player's choice; an empty one cancels.
    bool AskSaveFileName(const std::vector<FileFilter>& filters,
                         const std::string& defaultExtension, std::string& path) override;
    std::string FileTypeDescription(const std::string& extension) override;
    // Any existing file stands for an icon; the program's own is the empty name.
    int SetIcon(const std::string& file) override;
    std::unique_ptr<IPaneControl> CreatePaneControl(bool isOutput, const Rect& rect,
                                                    IPaneEvents& events) override;

    // Test side: deliver a message now, as the window system would.
    std::intptr_t Deliver(WindowMessage message);
    // Moves and resizes the outer rectangle and delivers the size message.
    void SetWindowRect(const Rect& rect);
    // Closes the window as the player would (the close message; the owner decides).
    void RequestClose();

    const std::string& Title() const { return m_title; }
    bool Shown() const { return m_shown; }
    bool Captured() const { return m_captured; }
    int TimerPeriod(int id) const;
    int WatchedSocket() const { return m_watchedSocket; }
    const std::vector<Rect>& Filled() const { return m_filled; }
    const WindowCreateParams& Params() const { return m_params; }
    int Flashes() const { return m_flashes; }
    int Raises() const { return m_raises; }
    const std::string& Icon() const { return m_icon; }

  private:
    HeadlessPlatform& m_platform;
    CWindow& m_owner;
    WindowCreateParams m_params;
    Rect m_rect;
    std::string m_title;
    std::string m_icon;
    bool m_exists = true;
    bool m_shown = false;
    bool m_captured = false;
    int m_watchedSocket = -1;
    int m_flashes = 0;
    int m_raises = 0;
    std::vector<std::pair<int, int>> m_timers;
    std::vector<Rect> m_filled;
};

// The window system and event loop of the tests.
class HeadlessPlatform : public IPlatform {
  public:
    static constexpr ::Size kFrame{16, 39};
    using PaneFactory =
        std::function<std::unique_ptr<IPaneControl>(bool isOutput, const Rect&, IPaneEvents&)>;

    HeadlessPlatform();

    int RegisterWindowClass(const std::string& className) override;
    void UnregisterWindowClass(const std::string&) override { ++m_unregistered; }
    std::unique_ptr<IWindowPort> CreateWindow(const WindowCreateParams& params, CWindow& owner,
                                              int& errorCode) override;
    // Delivers the next queued message; waiting with nothing queued delivers a tick of the
    // timer, as the real loop would after the tick delay.
    bool ProcessEvents(bool wait) override;
    void ShowMessageBox(const std::string& text, const std::string& caption,
                        MessageBoxKind kind) override {
        m_messageBoxes.push_back({text, caption, kind});
    }
    ITextMeasure& TextMeasure() override { return m_measure; }
    ::Size DefaultFrameSize() override { return kFrame; }
    void Beep() override { ++m_beeps; }
    void PlaySoundFile(const std::string& path) override { m_sounds.push_back(path); }

    // Test controls.
    void QueueMessage(const WindowMessage& message) { m_queue.push_back(message); }
    void QueueClose() { m_queueClose = true; }
    // Runs before each ProcessEvents call; the loop's own view of the world.
    std::function<void(bool wait)> m_onProcessEvents;
    PaneFactory m_paneFactory;
    int m_registerError = 0;
    int m_createError = 0;
    MessageBoxAnswer m_answer = MessageBoxAnswer::No;

    HeadlessWindow* Window() const { return m_window; }
    std::vector<RecordedMessageBox> m_messageBoxes;
    int m_waits = 0;
    int m_polls = 0;
    int m_unregistered = 0;
    int m_beeps = 0;
    std::vector<std::string> m_sounds;
    std::vector<RecordedSaveDialog> m_saveDialogs;
    std::string m_savePath;
    // Descriptions of file types by extension (".exe").
    std::map<std::string, std::string> m_fileTypes;

  private:
    friend class HeadlessWindow;
    FixedTextMeasure m_measure;
    HeadlessWindow* m_window = nullptr;
    std::deque<WindowMessage> m_queue;
    bool m_queueClose = false;
};

inline bool HeadlessWindow::AskSaveFileName(const std::vector<FileFilter>& filters,
                                            const std::string& defaultExtension,
                                            std::string& path) {
    m_platform.m_saveDialogs.push_back({filters, defaultExtension});
    path = m_platform.m_savePath;
    return !path.empty();
}

inline std::string HeadlessWindow::FileTypeDescription(const std::string& extension) {
    const auto found = m_platform.m_fileTypes.find(extension);
    return found == m_platform.m_fileTypes.end() ? std::string() : found->second;
}
