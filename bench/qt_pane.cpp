// Output pane throughput as a player gets it: server lines through the pane logic
// (CRichPane::Append: URL marking, format codes) into the real Qt output control, laid out and
// painted once per batch. The anchor is a QPlainTextEdit used the way its manual recommends
// (undo off, no block limit, one cursor kept at the end, one edit block per batch), fed the
// same lines with the same formats. Both are measured in this run; the ratio is the result.
//
// Run with QT_QPA_PLATFORM=offscreen (the default here). Set OSTRAK_BENCH_SKIP_5M=1 (or pass
// --skip-5m) to leave out the 5M-line pane run (about half of the run time); --pane-only leaves
// out the anchor (for profiling the pane alone); --no-word-tiles paints every glyph through
// QPainter, as the pane does for words it has no picture of.
#include <sys/resource.h>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

#include <cstring>
#include <ctime>
#include <memory>

#include "bench/BenchSupport.h"
#include "ui/RichPane.h"
#include "ui/qt/QtPaneControl.h"
#include "ui/qt/WordTiles.h"

namespace {

using namespace bench;

// Lines handed over between two turns of the event loop (about what one large socket read
// holds); each turn lays out and paints.
constexpr int kBatch = 256;

// Times each append.
const CallClock callClock;

// Counts the paints of a widget, to show that every batch was really painted.
class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    long paints = 0;
};

struct RunFigures {
    double seconds = 0;
    double worstAppendMs = 0;
    // The same over the batches that kept their core all along (no involuntary switch, and
    // thread time within 0.2 ms of wall time, which also catches the host taking the virtual
    // CPU away): on a shared machine the plain worst is mostly someone else's time slice.
    double worstUnswitchedAppendMs = 0;
    long batches = 0;
    long switchedBatches = 0;
    double batchWorstMs = 0;
    long switchesAtBatchStart = 0;
    double cpuAtBatchStart = 0;
    Clock::time_point wallAtBatchStart;
    double worstTurnMs = 0;
    // Where the time went: in the appends, and in the turns that lay out and paint.
    double appendMs = 0;
    double turnMs = 0;
    double residentPerLine = 0;
    double peakPerLine = 0;
    long paints = 0;
};

long InvoluntarySwitches() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nivcsw;
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void StartBatch(RunFigures& figures) {
    figures.switchesAtBatchStart = InvoluntarySwitches();
    figures.cpuAtBatchStart = ThreadCpuMs();
    figures.wallAtBatchStart = Clock::now();
}

void NoteAppend(RunFigures& figures, double ms) {
    figures.appendMs += ms;
    figures.worstAppendMs = std::max(figures.worstAppendMs, ms);
    figures.batchWorstMs = std::max(figures.batchWorstMs, ms);
}

// Ends a batch of appends and runs the event-loop turn that lays out and paints it.
void ProcessTurn(RunFigures& figures) {
    ++figures.batches;
    const double lostMs =
        Millis(Clock::now() - figures.wallAtBatchStart) - (ThreadCpuMs() - figures.cpuAtBatchStart);
    if (InvoluntarySwitches() == figures.switchesAtBatchStart && lostMs < 0.2) {
        figures.worstUnswitchedAppendMs =
            std::max(figures.worstUnswitchedAppendMs, figures.batchWorstMs);
    } else {
        ++figures.switchedBatches;
    }
    figures.batchWorstMs = 0;
    const auto start = Clock::now();
    QCoreApplication::processEvents();
    const double turnMs = Millis(Clock::now() - start);
    figures.turnMs += turnMs;
    figures.worstTurnMs = std::max(figures.worstTurnMs, turnMs);
    StartBatch(figures);
}

void FinishMemory(RunFigures& figures, double residentBefore, int count) {
    figures.residentPerLine = (ResidentBytes() - residentBefore) / count;
    figures.peakPerLine = (PeakResidentBytes() - residentBefore) / count;
}

RunFigures RunPane(const std::vector<GameLine>& lines, int count) {
    RunFigures figures;
    ResetPeakResident();
    const double residentBefore = ResidentBytes();
    QWidget host;
    host.resize(800, 600);
    host.show();
    QtPaneFactory factory(&host);
    CRichPane pane;
    if (!pane.Create(factory, nullptr, 0, 800, 600, true)) {
        std::printf("the output pane could not be created\n");
        std::exit(1);
    }
    // The pane's own style is the default settings' (scrollback included).
    pane.SetUrlPrefixes(InstalledUrlPrefixes());
    PaintCounter counter;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(AsQtPaneControl(pane.Control())->Widget()))
        area->viewport()->installEventFilter(&counter);
    QCoreApplication::processEvents();

    // The lines back to back, as the telnet engine hands them over from its receive buffer.
    std::string received;
    for (const GameLine& line : lines) received += line.encoded;
    std::vector<std::string_view> views;
    for (std::size_t at = 0; const GameLine& line : lines) {
        views.emplace_back(received.data() + at, line.encoded.size());
        at += line.encoded.size();
    }

    const auto start = Clock::now();
    StartBatch(figures);
    for (int i = 0, line = 0, inBatch = 0; i < count; ++i) {
        const std::uint64_t before = callClock.Now();
        pane.Append(views[static_cast<std::size_t>(line)]);
        NoteAppend(figures, callClock.Millis(before, callClock.Now()));
        if (++line == static_cast<int>(lines.size())) line = 0;
        if (++inBatch == kBatch) {
            inBatch = 0;
            ProcessTurn(figures);
        }
    }
    ProcessTurn(figures);
    figures.seconds = Seconds(Clock::now() - start);
    FinishMemory(figures, residentBefore, count);
    figures.paints = counter.paints;
    return figures;
}

struct AnchorFormats {
    AnchorFormats() {
        plain.setForeground(QColor(0xd0, 0xd0, 0xd0));
        bold = plain;
        bold.setFontWeight(QFont::Bold);
        link.setForeground(QColor(0xff, 0xff, 0xff));
        link.setFontUnderline(true);
    }
    QTextCharFormat For(const TextRun& run) const {
        if (run.link) return link;
        if (run.bold) return bold;
        if (run.rrggbb == 0xd0d0d0) return plain;
        QTextCharFormat coloured = plain;
        coloured.setForeground(
            QColor((run.rrggbb >> 16) & 0xff, (run.rrggbb >> 8) & 0xff, run.rrggbb & 0xff));
        return coloured;
    }
    QTextCharFormat plain;
    QTextCharFormat bold;
    QTextCharFormat link;
};

RunFigures RunPlainTextEdit(const std::vector<GameLine>& lines, int count) {
    RunFigures figures;
    ResetPeakResident();
    const double residentBefore = ResidentBytes();
    QWidget host;
    host.resize(800, 600);
    auto* edit = new QPlainTextEdit(&host);
    edit->setReadOnly(true);
    edit->setUndoRedoEnabled(false);
    edit->setMaximumBlockCount(0);
    edit->setGeometry(0, 0, 800, 600);
    QFont font("Courier New", 10);
    font.setStyleHint(QFont::TypeWriter);
    edit->setFont(font);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, Qt::black);
    palette.setColor(QPalette::Text, QColor(0xd0, 0xd0, 0xd0));
    edit->setPalette(palette);
    host.show();
    PaintCounter counter;
    edit->viewport()->installEventFilter(&counter);
    const AnchorFormats formats;
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    QCoreApplication::processEvents();

    const auto start = Clock::now();
    StartBatch(figures);
    cursor.beginEditBlock();
    for (int i = 0, line = 0, inBatch = 0; i < count; ++i) {
        const std::uint64_t before = callClock.Now();
        for (const TextRun& run : lines[static_cast<std::size_t>(line)].runs) {
            cursor.insertText(
                QString::fromLatin1(run.text.data(), static_cast<int>(run.text.size())),
                formats.For(run));
        }
        cursor.insertBlock();
        NoteAppend(figures, callClock.Millis(before, callClock.Now()));
        if (++line == static_cast<int>(lines.size())) line = 0;
        if (++inBatch == kBatch) {
            inBatch = 0;
            cursor.endEditBlock();
            ProcessTurn(figures);
            cursor.beginEditBlock();
        }
    }
    cursor.endEditBlock();
    ProcessTurn(figures);
    figures.seconds = Seconds(Clock::now() - start);
    FinishMemory(figures, residentBefore, count);
    figures.paints = counter.paints;
    if (edit->document()->blockCount() != count + 1)
        std::printf("  (QPlainTextEdit holds %d blocks, expected %d)\n",
                    edit->document()->blockCount(), count + 1);
    return figures;
}

void PrintRun(const char* who, int count, const RunFigures& f) {
    std::printf(
        "  %-15s %8d lines: %9.0f lines/s  worst append %7.3f ms  worst turn %7.2f ms  "
        "%4ld paints",
        who, count, count / f.seconds, f.worstAppendMs, f.worstTurnMs, f.paints);
    if (count == 1'000'000)
        std::printf("  memory %5.0f B/line resident, %5.0f B/line peak", f.residentPerLine,
                    f.peakPerLine);
    std::printf("  worst append %.3f ms in the %ld of %ld batches that kept their core",
                f.worstUnswitchedAppendMs, f.batches - f.switchedBatches, f.batches);
    std::printf("  appends %.0f%%, turns %.0f%% of the time (%.2f us a line, %.0f us a turn)",
                100 * f.appendMs / (f.seconds * 1e3), 100 * f.turnMs / (f.seconds * 1e3),
                f.appendMs * 1e3 / count, f.turnMs * 1e3 / static_cast<double>(f.batches));
    // Past the default scrollback the oldest lines go, so per line of input means nothing.
    if (count > 1'000'000)
        std::printf("  memory %5.0f MB resident, %5.0f MB peak", f.residentPerLine * count / 1e6,
                    f.peakPerLine * count / 1e6);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool skip5M = qEnvironmentVariableIntValue("OSTRAK_BENCH_SKIP_5M") != 0;
    bool paneOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--skip-5m") == 0) skip5M = true;
        if (std::strcmp(argv[i], "--pane-only") == 0) paneOnly = true;
        if (std::strcmp(argv[i], "--no-word-tiles") == 0) WordTiles::SetEnabled(false);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::vector<GameLine> lines = MakeGameLines();
    std::printf(
        "output pane vs QPlainTextEdit used well; lines of %.1f bytes on average, 40%% "
        "with colour or bold, 5%% with a link; %d lines per event-loop turn\n",
        AverageLineBytes(lines), kBatch);
    for (const int count : {10'000, 100'000, 1'000'000}) {
        const RunFigures pane = RunPane(lines, count);
        if (paneOnly) {
            PrintRun("output pane", count, pane);
            continue;
        }
        const RunFigures anchor = RunPlainTextEdit(lines, count);
        PrintRun("output pane", count, pane);
        PrintRun("QPlainTextEdit", count, anchor);
        std::printf("  ratio at %d lines: pane %.2fx the QPlainTextEdit's lines/s", count,
                    anchor.seconds / pane.seconds);
        if (count >= 1'000'000)
            std::printf(", %.2fx its resident memory, %.2fx its peak",
                        pane.residentPerLine / anchor.residentPerLine,
                        pane.peakPerLine / anchor.peakPerLine);
        std::printf("\n");
    }
    if (skip5M) {
        std::printf("  output pane at 5000000 lines: skipped\n");
    } else {
        PrintRun("output pane", 5'000'000, RunPane(lines, 5'000'000));
    }
    return 0;
}
