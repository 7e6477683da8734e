#include "ui/qt/QtPaneDesktop.h"

#include <spawn.h>
#include <sys/wait.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <cerrno>

#include "ui/qt/HtmlFragment.h"
#include "ui/qt/QtPaneControl.h"

extern char** environ;

namespace {

QWidget* CursorWidget(IPaneControl& control) {
    QtPaneControl* qt = AsQtPaneControl(&control);
    if (!qt) return nullptr;
    QWidget* widget = qt->Widget();
    // The text area is the viewport; the scroll bar keeps its own arrow.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) return area->viewport();
    return widget;
}

bool HasScheme(const std::string& url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = url[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

}  // namespace

void QtPaneDesktop::Beep() { QApplication::beep(); }

std::vector<FormattedChar> QtPaneDesktop::SelectionFragment(const IPaneControl& control) const {
    const QtPaneControl* qt = AsQtPaneControl(const_cast<IPaneControl*>(&control));
    return qt ? qt->SelectionFragment() : std::vector<FormattedChar>();
}

ClipboardFormats QtPaneDesktop::AvailableClipboardFormats() const {
    ClipboardFormats formats;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) return formats;
    formats.rich = data->hasHtml();
    formats.text = data->hasText();
    return formats;
}

bool QtPaneDesktop::PutClipboard(const std::string& text, const std::vector<FormattedChar>* rich,
                                 Colour backColour) {
    auto* data = new QMimeData;
    const QString plain = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    data->setText(plain);
    if (rich) data->setHtml(HtmlFromFormattedChars(*rich, backColour));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data);
    OfferSelection(text);
    const QMimeData* placed = clipboard->mimeData();
    return placed && placed->hasText();
}

bool QtPaneDesktop::GetClipboardText(std::string& text) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return false;
    // The panes' bytes are Latin-1; what lies beyond it cannot be pasted as bytes.
    text = data->text().toLatin1().toStdString();
    return true;
}

bool QtPaneDesktop::GetClipboardRich(std::vector<FormattedChar>& rich, Colour defaultText) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasHtml()) return false;
    rich = FormattedCharsFromHtml(data->html(), defaultText);
    return true;
}

void QtPaneDesktop::OfferSelection(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection() || text.empty()) return;
    clipboard->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())),
                       QClipboard::Selection);
}

void QtPaneDesktop::SetCursor(IPaneControl& control, PaneCursor cursor) {
    QWidget* widget = CursorWidget(control);
    if (!widget) return;
    switch (cursor) {
        case PaneCursor::Arrow:
            widget->setCursor(Qt::ArrowCursor);
            break;
        case PaneCursor::Hand:
            widget->setCursor(Qt::PointingHandCursor);
            break;
        case PaneCursor::IBeam:
            widget->setCursor(Qt::IBeamCursor);
            break;
    }
}

int QtPaneDesktop::ShowMenu(IPaneControl& control, const std::vector<PaneMenuItem>& items,
                            std::int32_t screenX, std::int32_t screenY) {
    QtPaneControl* qt = AsQtPaneControl(&control);
    QMenu menu(qt ? qt->Widget() : nullptr);
    for (const PaneMenuItem& item : items) {
        if (item.command == 0) {
            menu.addSeparator();
            continue;
        }
        // QMenu shows what follows the tab as the shortcut column.
        QAction* action = menu.addAction(QString::fromLatin1(item.text.c_str()));
        action->setData(item.command);
        action->setEnabled(item.enabled);
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
    }
    QAction* chosen = menu.exec(QPoint(screenX, screenY));
    return chosen ? chosen->data().toInt() : 0;
}

UrlOpener QtPaneDesktop::Opener() { return OpenUrlWithDesktop; }

void RouteContextMenu(QAbstractScrollArea* area, IPaneEvents& events) {
    area->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(area, &QWidget::customContextMenuRequested, area,
                     [area, &events](const QPoint& at) {
                         // The request comes from the viewport, in its coordinates.
                         const QPoint screen = area->viewport()->mapToGlobal(at);
                         events.OnContextMenu(screen.x(), screen.y());
                     });
}

IPaneDesktop& QtDesktop() {
    static QtPaneDesktop desktop;
    return desktop;
}

void OpenUrlWithDesktop(const std::string& url) {
    if (url.empty() || url.front() == '-') return;
    const std::string target = HasScheme(url) ? url : "http://" + url;
    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(target.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) return;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}
