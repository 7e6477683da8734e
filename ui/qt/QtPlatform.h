#pragma once

#include <memory>

#include "ui/WindowPort.h"

class QtSound;

// The Qt window system and event loop as the window framework sees them.
class QtPlatform : public IPlatform {
  public:
    QtPlatform();
    ~QtPlatform() override;

    int RegisterWindowClass(const std::string& className) override;
    void UnregisterWindowClass(const std::string& className) override;
    std::unique_ptr<IWindowPort> CreateWindow(const WindowCreateParams& params, CWindow& owner,
                                              int& errorCode) override;
    bool ProcessEvents(bool wait) override;
    void ShowMessageBox(const std::string& text, const std::string& caption,
                        MessageBoxKind kind) override;
    ITextMeasure& TextMeasure() override;
    ::Size DefaultFrameSize() override;
    void Beep() override;
    void PlaySoundFile(const std::string& path) override;

  private:
    class QuitWatcher;

    bool m_quitRequested = false;
    std::unique_ptr<ITextMeasure> m_textMeasure;
    std::unique_ptr<QuitWatcher> m_quitWatcher;
    std::unique_ptr<QtSound> m_sound;
};

// Shows a message box before any window exists.
void ShowStartupError(const std::string& text);
