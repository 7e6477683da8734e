#pragma once

#include <QWidget>

#include <map>
#include <memory>

#include "ui/WindowPort.h"

class QSocketNotifier;
class QTimer;

// The native top-level window: a plain widget whose only own area is the strip between the two
// panes. It turns Qt's events into the window's messages.
class QtMainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit QtMainWindow(CWindow& owner);

    std::intptr_t Deliver(WindowMessage& message);
    void DeliverDestroy();
    void SetRequestedOuterSize(QSize size) { m_requestedOuterSize = size; }
    void FillStrip(const Rect& rect);
    bool IsDestroyed() const { return m_destroyed; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void ApplyMinimumSize();
    void CorrectForFrame();

    CWindow& m_owner;
    bool m_painting = false;
    bool m_destroyed = false;
    QSize m_requestedOuterSize;
};

class QtWindowPort : public IWindowPort {
  public:
    QtWindowPort(CWindow& owner, const WindowCreateParams& params);
    ~QtWindowPort() override;

    void Show() override;
    void DestroyWindow() override;
    bool Exists() const override;
    Rect GetWindowRect() const override;
    ::Size GetClientSize() const override;
    ::Size GetFrameSize() const override;
    void SetTitle(const std::string& title) override;
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void SetMouseCapture(bool capture) override;
    void FillRect(const Rect& rect) override;
    MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                    MessageBoxKind kind) override;
    void WatchSocket(int descriptor) override;
    void FlashUntilForeground() override;
    void BringToFront() override;
    bool AskSaveFileName(const std::vector<FileFilter>& filters,
                         const std::string& defaultExtension, std::string& path) override;
    std::string FileTypeDescription(const std::string& extension) override;
    int SetIcon(const std::string& file) override;
    std::unique_ptr<IPaneControl> CreatePaneControl(bool isOutput, const Rect& rect,
                                                    IPaneEvents& events) override;
    IPaneDesktop* PaneDesktop() override;

    QtMainWindow* Widget() const { return m_widget.get(); }

  private:
    CWindow& m_owner;
    std::unique_ptr<QtMainWindow> m_widget;
    std::map<int, std::unique_ptr<QTimer>> m_timers;
    std::unique_ptr<QSocketNotifier> m_socketNotifier;
};
