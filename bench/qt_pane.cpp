// Output pane throughput: 57-byte lines appended through the pane control interface the way the
// pane logic does it, with events processed (layout and painting) every few hundred lines.
#include <unistd.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ui/qt/QtPaneControl.h"

namespace {

constexpr int kEventsEvery = 500;

CharFormat ColourFormatFor(Colour colour) {
    CharFormat format;
    format.mask = CharFormat::kColour;
    format.textColour = colour;
    return format;
}

double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// 55 characters and CR LF, varying per line.
std::vector<std::string> MakeLines() {
    std::vector<std::string> lines;
    const char* words[] = {"goblin", "sword", "rusty", "north", "tavern", "glows", "angry"};
    for (int i = 0; i < 64; ++i) {
        std::string line = "[" + std::to_string(i) + "] ";
        for (int w = i; line.size() < 55; ++w) line += std::string(words[w % 7]) + " ";
        line.resize(55);
        lines.push_back(line + "\r\n");
    }
    return lines;
}

void RunPaneControl(QWidget& host, const std::vector<std::string>& lines) {
    NullPaneEvents events;
    auto control = CreateQtPaneControl(&host, true, Rect{0, 0, 780, 580}, events);
    control->SetFont("Courier New", 10);
    CharFormat all;
    all.mask = CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
    all.textColour = 0xD0D0D0;
    control->SetAllFormat(all);
    control->SetBackColour(0);
    QCoreApplication::processEvents();

    const Colour colours[] = {0x0000FF, 0x00FF00, 0x00FFFF, 0xD0D0D0};
    const int targets[] = {10'000, 100'000, 1'000'000};
    const double residentBefore = ResidentBytes();
    int appended = 0;
    auto start = std::chrono::steady_clock::now();
    for (const int target : targets) {
        const int from = appended;
        const auto phaseStart = std::chrono::steady_clock::now();
        for (; appended < target; ++appended) {
            control->SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
            if (appended % 4 == 0) {
                control->SetSelectionFormat(ColourFormatFor(colours[(appended / 4) % 4]));
                control->SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
            }
            control->ReplaceSelection(lines[static_cast<std::size_t>(appended) % lines.size()],
                                      false);
            if (appended % kEventsEvery == 0) QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        const double seconds = Seconds(std::chrono::steady_clock::now() - phaseStart);
        std::printf("custom output pane: lines %7d..%7d: %10.0f lines/s (%.2f s)\n", from, target,
                    (target - from) / seconds, seconds);
    }
    const double total = Seconds(std::chrono::steady_clock::now() - start);
    const double perLine = (ResidentBytes() - residentBefore) / appended;
    std::printf("custom output pane: %d lines in %.2f s, %.0f lines/s overall\n", appended, total,
                appended / total);
    std::printf("custom output pane: memory %.0f bytes per 57-byte line at %d lines\n", perLine,
                appended);
    std::printf("custom output pane: text length check %d\n", control->GetTextLength());
}

// For comparison: the stock plain-text widget, to a tenth of the lines.
void RunPlainTextEdit(QWidget& host, const std::vector<std::string>& lines) {
    auto* edit = new QPlainTextEdit(&host);
    edit->setReadOnly(true);
    edit->setGeometry(0, 0, 780, 580);
    edit->show();
    QTextCharFormat format;
    const double residentBefore = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    constexpr int kLines = 100'000;
    for (int i = 0; i < kLines; ++i) {
        QTextCursor cursor(edit->document());
        cursor.movePosition(QTextCursor::End);
        if (i % 4 == 0) format.setForeground(QColor(i % 256, 200, 100));
        const std::string& line = lines[static_cast<std::size_t>(i) % lines.size()];
        cursor.insertText(QString::fromLatin1(line.data(), 55) + "\n", format);
        if (i % kEventsEvery == 0) QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    std::printf("QPlainTextEdit:     %d lines: %10.0f lines/s, %.0f bytes per line\n", kLines,
                kLines / seconds, (ResidentBytes() - residentBefore) / kLines);
    delete edit;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QWidget host;
    host.resize(800, 600);
    host.show();
    const std::vector<std::string> lines = MakeLines();
    RunPaneControl(host, lines);
    RunPlainTextEdit(host, lines);
    return 0;
}
