#include "ui/qt/QtMainWindow.h"

#include <unistd.h>

#include <cerrno>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QImageReader>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>

#include "ui/Window.h"
#include "ui/qt/QtPaneControl.h"
#include "ui/qt/QtPaneDesktop.h"

namespace {

// The program's own icon, compiled in as a resource.
QIcon ProgramIcon() { return QIcon(QStringLiteral(":/icons/OstrakClient.png")); }

// The strip between the panes; the window itself is black behind it.
const QColor kSplitterColour(0x80, 0x80, 0x80);

}  // namespace

QtMainWindow::QtMainWindow(CWindow& owner) : m_owner(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::black);
    setPalette(background);
    setAutoFillBackground(true);
    // The only part of the window not covered by a pane is the strip the player drags.
    setCursor(Qt::SizeVerCursor);
    setMouseTracking(false);

    // Accelerators work whichever pane has the focus; the window routes them to that pane, and
    // the panes' widgets leave these keys alone.
    const struct {
        Qt::Key key;
        int command;
    } accelerators[] = {{Qt::Key_B, 40011}, {Qt::Key_I, 40012}, {Qt::Key_U, 40013},
                        {Qt::Key_S, 40014}, {Qt::Key_X, 40001}, {Qt::Key_C, 40002},
                        {Qt::Key_V, 40003}, {Qt::Key_A, 40006}, {Qt::Key_H, 40007},
                        {Qt::Key_G, 40015}, {Qt::Key_D, 40010}};
    for (const auto& accelerator : accelerators) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | accelerator.key), this);
        shortcut->setContext(Qt::WindowShortcut);
        const int command = accelerator.command;
        connect(shortcut, &QShortcut::activated, this, [this, command] {
            WindowMessage message = WindowMessage::Of(WindowMessageType::Command);
            message.id = command;
            message.flag = true;
            Deliver(message);
        });
    }
}

std::intptr_t QtMainWindow::Deliver(WindowMessage& message) {
    const std::intptr_t result = m_owner.HandleMessage(message);
    if (message.type != WindowMessageType::GetMinMaxInfo && !m_destroyed) ApplyMinimumSize();
    return result;
}

void QtMainWindow::DeliverDestroy() {
    if (m_destroyed) return;
    WindowMessage message = WindowMessage::Of(WindowMessageType::Destroy);
    m_owner.HandleMessage(message);
    m_destroyed = true;
    hide();
}

void QtMainWindow::ApplyMinimumSize() {
    WindowMessage query = WindowMessage::Of(WindowMessageType::GetMinMaxInfo);
    m_owner.HandleMessage(query);
    const QSize frame = frameGeometry().size() - size();
    const QSize minimum(std::max(0, query.minTrackSize.width - frame.width()),
                        std::max(0, query.minTrackSize.height - frame.height()));
    if (minimum.isValid() && minimum != minimumSize()) setMinimumSize(minimum);
}

void QtMainWindow::CorrectForFrame() {
    // The outer size asked for is known only once the window manager has framed the window.
    if (!m_requestedOuterSize.isValid()) return;
    const QSize frame = frameGeometry().size() - size();
    if (frame.isEmpty() && frame.width() == 0 && frame.height() == 0) return;
    const QSize client = m_requestedOuterSize - frame;
    m_requestedOuterSize = QSize();
    if (client.isValid() && client != size()) resize(client);
}

void QtMainWindow::FillStrip(const Rect& rect) {
    const QRect area(rect.left, rect.top, rect.Width(), rect.Height());
    if (!m_painting) {
        update(area);
        return;
    }
    QPainter painter(this);
    painter.fillRect(area, kSplitterColour);
}

void QtMainWindow::resizeEvent(QResizeEvent*) {
    CorrectForFrame();
    WindowMessage message = WindowMessage::Of(WindowMessageType::Size);
    message.size = ::Size{width(), height()};
    Deliver(message);
}

void QtMainWindow::moveEvent(QMoveEvent*) { CorrectForFrame(); }

void QtMainWindow::paintEvent(QPaintEvent*) {
    m_painting = true;
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
    }
    WindowMessage message = WindowMessage::Of(WindowMessageType::Paint);
    Deliver(message);
    m_painting = false;
}

void QtMainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        WindowMessage message = WindowMessage::Of(WindowMessageType::Activate);
        message.flag = isActiveWindow();
        Deliver(message);
    }
    QWidget::changeEvent(event);
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    // Closing is the window procedure's decision; it destroys the window when it agrees.
    event->ignore();
    if (m_destroyed) return;
    WindowMessage message = WindowMessage::Of(WindowMessageType::Close);
    Deliver(message);
}

void QtMainWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    WindowMessage message = WindowMessage::Of(WindowMessageType::LeftButtonDown);
    message.x = static_cast<std::int32_t>(event->position().x());
    message.y = static_cast<std::int32_t>(event->position().y());
    Deliver(message);
}

void QtMainWindow::mouseMoveEvent(QMouseEvent* event) {
    WindowMessage message = WindowMessage::Of(WindowMessageType::MouseMove);
    message.flag = (event->buttons() & Qt::LeftButton) != 0;
    message.x = static_cast<std::int32_t>(event->position().x());
    message.y = static_cast<std::int32_t>(event->position().y());
    Deliver(message);
}

void QtMainWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    WindowMessage message = WindowMessage::Of(WindowMessageType::LeftButtonUp);
    message.x = static_cast<std::int32_t>(event->position().x());
    message.y = static_cast<std::int32_t>(event->position().y());
    Deliver(message);
}

QtWindowPort::QtWindowPort(CWindow& owner, const WindowCreateParams& params)
    : m_owner(owner), m_widget(std::make_unique<QtMainWindow>(owner)) {
    m_widget->setWindowTitle(QString::fromLatin1(params.title.c_str()));
    m_widget->setWindowIcon(ProgramIcon());
    if (params.defaultPosition) {
        m_widget->resize(params.width, params.height);
    } else {
        // A stored rectangle is the outer one; negative positions (a monitor left of or above
        // the primary one) are kept.
        m_widget->move(params.x, params.y);
        m_widget->resize(params.width, params.height);
        m_widget->SetRequestedOuterSize(QSize(params.width, params.height));
    }
}

QtWindowPort::~QtWindowPort() {
    m_timers.clear();
    m_socketNotifier.reset();
}

void QtWindowPort::Show() { m_widget->show(); }

void QtWindowPort::DestroyWindow() {
    m_timers.clear();
    m_socketNotifier.reset();
    m_widget->DeliverDestroy();
}

bool QtWindowPort::Exists() const { return !m_widget->IsDestroyed(); }

Rect QtWindowPort::GetWindowRect() const {
    const QRect outer = m_widget->frameGeometry();
    return Rect{outer.left(), outer.top(), outer.left() + outer.width(),
                outer.top() + outer.height()};
}

::Size QtWindowPort::GetClientSize() const { return ::Size{m_widget->width(), m_widget->height()}; }

::Size QtWindowPort::GetFrameSize() const {
    const QSize frame = m_widget->frameGeometry().size() - m_widget->size();
    return ::Size{frame.width(), frame.height()};
}

void QtWindowPort::SetTitle(const std::string& title) {
    m_widget->setWindowTitle(QString::fromLatin1(title.c_str()));
}

void QtWindowPort::StartTimer(int id, int periodMs) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(periodMs);
    QObject::connect(timer.get(), &QTimer::timeout, m_widget.get(), [this, id] {
        WindowMessage message = WindowMessage::Of(WindowMessageType::Timer);
        message.id = id;
        m_widget->Deliver(message);
    });
    timer->start();
    m_timers[id] = std::move(timer);
}

void QtWindowPort::StopTimer(int id) { m_timers.erase(id); }

void QtWindowPort::SetMouseCapture(bool) {
    // Qt keeps sending mouse events to the widget a button was pressed on until it is
    // released, which is all the splitter drag needs.
}

void QtWindowPort::FillRect(const Rect& rect) { m_widget->FillStrip(rect); }

MessageBoxAnswer QtWindowPort::ShowMessageBox(const std::string& text, const std::string& caption,
                                              MessageBoxKind kind) {
    const QString message = QString::fromLatin1(text.c_str());
    const QString title = QString::fromLatin1(caption.c_str());
    if (kind == MessageBoxKind::QuestionYesNoDefaultNo) {
        const auto answer = QMessageBox::question(
            m_widget.get(), title, message, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        return answer == QMessageBox::Yes ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
    }
    QMessageBox::critical(m_widget.get(), title, message);
    return MessageBoxAnswer::Ok;
}

void QtWindowPort::WatchSocket(int descriptor) {
    m_socketNotifier.reset();
    if (descriptor < 0) return;
    // Arriving bytes only need to wake the event loop: the tick that follows reads them.
    m_socketNotifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(m_socketNotifier.get(), &QSocketNotifier::activated, m_widget.get(), [] {});
}

void QtWindowPort::FlashUntilForeground() {
    // A duration of 0 keeps the alert up until the window is activated.
    QApplication::alert(m_widget.get(), 0);
}

int QtWindowPort::SetIcon(const std::string& file) {
    if (file.empty()) {
        m_widget->setWindowIcon(ProgramIcon());
        return 0;
    }
    if (access(file.c_str(), R_OK) != 0) return errno;
    const QString path = QString::fromLocal8Bit(file.c_str());
    QImageReader reader(path);
    if (!reader.canRead()) return EINVAL;
    m_widget->setWindowIcon(QIcon(path));
    return 0;
}

void QtWindowPort::BringToFront() {
    m_widget->raise();
    m_widget->activateWindow();
}

std::unique_ptr<IPaneControl> QtWindowPort::CreatePaneControl(bool isOutput, const Rect& rect,
                                                              IPaneEvents& events) {
    return CreateQtPaneControl(m_widget.get(), isOutput, rect, events);
}

IPaneDesktop* QtWindowPort::PaneDesktop() { return &QtDesktop(); }
