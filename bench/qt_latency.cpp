// Latency from a game server's send to the paint that shows the line, on the real Qt event loop
// with the real application object: the socket wakes the loop, the tick reads, the pane logic
// renders into the output control, the control lays out and paints. The clock stops when the
// output pane's paint that shows the probe line has run. Probes go out one at a time, first on
// an idle connection, then each behind a burst of game lines (a flood).
//
// The anchor, in the same run: the same server and probes read by a plain 64 KiB recv on a
// socket notifier straight into a QPlainTextEdit used well (one edit block per read, undo off),
// timed to its paint the same way.
//
// OSTRAK_BENCH_FLOOD_LINES sets the lines sent before each flood probe (400 by default).
#include <fcntl.h>

#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextBlock>
#include <QTimer>
#include <atomic>
#include <thread>

#include "bench/QtClientHarness.h"
#include "ui/qt/QtPlatform.h"

namespace {

using namespace bench;

constexpr int kProbesPerPhase = 500;
constexpr auto kProbeWait = std::chrono::seconds(2);

// Serves one connection: kProbesPerPhase probes on an idle line, then as many behind a flood.
// The next probe leaves only after the previous one was seen (or given up), after a short
// random pause, so each measures one line on its own.
class ProbeServer {
  public:
    explicit ProbeServer(int floodLines)
        : m_sent(2 * kProbesPerPhase), m_seen(2 * kProbesPerPhase) {
        const std::vector<GameLine> lines = MakeGameLines();
        for (int block = 0; block < 8; ++block) {
            std::string flood;
            for (int i = 0; i < floodLines; ++i)
                flood +=
                    lines[static_cast<std::size_t>(block * floodLines + i) % lines.size()].encoded;
            m_floods.push_back(std::move(flood));
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~ProbeServer() {
        m_stop = true;
        m_thread.join();
    }
    ProbeServer(const ProbeServer&) = delete;
    ProbeServer& operator=(const ProbeServer&) = delete;

    std::uint16_t Port() const { return m_listener.port; }
    const LoopbackListener& Listener() const { return m_listener; }
    bool Finished() const { return m_finished; }

    // After a paint: if the probe in flight is in the tail of the shown text, it was seen now.
    void CheckPainted(const std::string& tail, Clock::time_point now) {
        const int probe = m_current;
        if (probe < 0 || m_seenIndex >= probe) return;
        if (tail.find(ProbeText(probe).substr(0, 12)) == std::string::npos) return;
        m_seen[static_cast<std::size_t>(probe)] = now;
        m_seenIndex = probe;
    }

    // Milliseconds from send to paint of the probes of one phase; unseen ones are counted.
    std::vector<double> Latencies(bool flood, int& unseen) const {
        std::vector<double> result;
        unseen = 0;
        for (int i = flood ? kProbesPerPhase : 0, end = i + kProbesPerPhase; i < end; ++i) {
            const auto index = static_cast<std::size_t>(i);
            if (m_seen[index] == Clock::time_point{}) {
                ++unseen;
            } else {
                result.push_back(Millis(m_seen[index] - m_sent[index]));
            }
        }
        return result;
    }

  private:
    static std::string ProbeText(int probe) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "PING %06d the town crier shouts the news of the day to all nearby\r\n",
                      probe);
        return text;
    }

    void Serve() {
        const int client = m_listener.Accept();
        if (client < 0) {
            m_finished = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::mt19937 random(11);
        for (int probe = 0; probe < 2 * kProbesPerPhase && !m_stop; ++probe) {
            if (probe >= kProbesPerPhase &&
                !SendAll(client, m_floods[static_cast<std::size_t>(probe) % m_floods.size()]))
                break;
            const std::string text = ProbeText(probe);
            m_sent[static_cast<std::size_t>(probe)] = Clock::now();
            m_current = probe;
            if (!SendAll(client, text)) break;
            const auto giveUp = Clock::now() + kProbeWait;
            while (m_seenIndex < probe && Clock::now() < giveUp && !m_stop)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            std::this_thread::sleep_for(std::chrono::microseconds(1000 + random() % 3000));
        }
        m_finished = true;
        while (!m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        close(client);
    }

    LoopbackListener m_listener;
    std::vector<std::string> m_floods;
    std::vector<Clock::time_point> m_sent;
    std::vector<Clock::time_point> m_seen;
    std::atomic<int> m_current{-1};
    std::atomic<int> m_seenIndex{-1};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

void RunClient(ProbeServer& server) {
    PrepareClientFolder("ostrak-latency-bench");
    QtPlatform platform;
    CApp app;
    if (!app.Create(&platform)) {
        std::printf("the client did not start\n");
        std::exit(1);
    }
    IPaneControl* output = app.OutputPane().Control();
    PaintWatch watch(PaintedWidget(app.OutputPane()), [&](Clock::time_point now) {
        const std::int32_t length = output->GetTextLength();
        server.CheckPainted(output->GetTextRange(std::max(0, length - 200), length), now);
    });
    app.SubmitText("/connect 127.0.0.1 " + std::to_string(server.Port()) + "\r\n");
    const auto deadline = Clock::now() + std::chrono::seconds(40);
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (server.Finished() || Clock::now() > deadline) app.Port()->DestroyWindow();
    });
    stopper.start(50);
    app.Run();
    app.Destroy();
}

// A minimal reader: bytes from the socket as they come, whole lines into the widget.
void RunAnchor(ProbeServer& server) {
    QWidget host;
    host.resize(800, 600);
    auto* edit = new QPlainTextEdit(&host);
    edit->setReadOnly(true);
    edit->setUndoRedoEnabled(false);
    edit->setMaximumBlockCount(0);
    edit->setGeometry(0, 0, 800, 600);
    edit->setFont(QFont("Courier New", 10));
    host.show();
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    PaintWatch watch(edit->viewport(), [&](Clock::time_point now) {
        const QTextBlock last = edit->document()->lastBlock();
        server.CheckPainted(last.previous().text().toStdString(), now);
    });

    const int socket = server.Listener().ConnectClient();
    fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK);
    std::string partial;
    static char buffer[65536];
    QSocketNotifier notifier(socket, QSocketNotifier::Read);
    QEventLoop loop;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        for (;;) {
            const ssize_t got = recv(socket, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            partial.append(buffer, static_cast<std::size_t>(got));
        }
        const std::size_t end = partial.rfind('\n');
        if (end == std::string::npos) return;
        cursor.beginEditBlock();
        for (std::size_t from = 0; from <= end;) {
            const std::size_t lineEnd = partial.find('\n', from);
            const std::size_t textEnd =
                lineEnd > from && partial[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
            cursor.insertText(
                QString::fromLatin1(partial.data() + from, static_cast<qsizetype>(textEnd - from)));
            cursor.insertBlock();
            from = lineEnd + 1;
        }
        cursor.endEditBlock();
        partial.erase(0, end + 1);
    });
    const auto deadline = Clock::now() + std::chrono::seconds(40);
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (server.Finished() || Clock::now() > deadline) loop.quit();
    });
    stopper.start(50);
    loop.exec();
    close(socket);
}

Spread Report(const char* who, const ProbeServer& server, bool flood) {
    int unseen = 0;
    std::vector<double> latencies = server.Latencies(flood, unseen);
    const Spread spread = SpreadOf(latencies);
    std::printf("  %-34s %-6s median %7.3f ms  p99 %7.3f ms  max %8.3f ms  (%zu probes", who,
                flood ? "flood" : "idle", spread.median, spread.p99, spread.max, spread.count);
    if (unseen)
        std::printf(", %d NOT PAINTED within %lld s", unseen,
                    static_cast<long long>(kProbeWait.count()));
    std::printf(")\n");
    return spread;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int floodLines = qEnvironmentVariableIsSet("OSTRAK_BENCH_FLOOD_LINES")
                               ? qEnvironmentVariableIntValue("OSTRAK_BENCH_FLOOD_LINES")
                               : 400;
    QApplication application(argc, argv);
    std::printf("server send -> painted, %d probes idle, %d behind %d game lines each\n",
                kProbesPerPhase, kProbesPerPhase, floodLines);
    ProbeServer clientServer(floodLines);
    RunClient(clientServer);
    ProbeServer anchorServer(floodLines);
    RunAnchor(anchorServer);
    for (const bool flood : {false, true}) {
        const Spread client = Report("client (CApp, pane, output view)", clientServer, flood);
        const Spread anchor = Report("anchor (recv -> QPlainTextEdit)", anchorServer, flood);
        std::printf("  ratio %s: anchor/client median %.2fx, p99 %.2fx\n", flood ? "flood" : "idle",
                    anchor.median / client.median, anchor.p99 / client.p99);
    }
    return 0;
}
