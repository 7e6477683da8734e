// Typed key -> input line painted, on the real client, while a server floods it: plain text at
// full speed, MCCP2 (level 9, flushed every 1 KiB) at full speed, and a decompression bomb (a
// compressed stream that inflates to 1 GiB of 78-byte lines). A thread posts key events to the
// input line's widget as the window system would (they wait in the queue while the loop is
// busy) and the clock stops when the input line's paint that shows the key has run.
//
// The anchor is the same measurement on an idle connection in the same run. Each case runs in
// a child process of its own, so the bomb's peak resident memory is its own; the program also
// says whether the client saw the server's close before the deadline.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstring>
#include <thread>

#include "bench/QtClientHarness.h"
#include "ui/qt/QtPlatform.h"

extern char** environ;

namespace {

using namespace bench;

enum class Flood { Idle, Plain, Mccp2, Bomb };
constexpr const char* kFloodNames[] = {"idle", "plain", "mccp2", "bomb"};
constexpr std::uint64_t kBombBytes = 1ull << 30;
// Floods at full speed run this long; the bomb runs until it is shown or the deadline.
constexpr auto kFloodTime = std::chrono::seconds(5);
constexpr auto kIdleTime = std::chrono::seconds(3);
constexpr auto kBombDeadline = std::chrono::seconds(30);
constexpr auto kKeyGiveUp = std::chrono::seconds(5);

// IAC WILL COMPRESS2 and the start of the compressed stream.
std::string CompressStart() { return std::string("\xFF\xFB\x56", 3) + Mccp2Start(); }

// 1 GiB of one 78-byte line, deflated piece by piece so the text is never held whole.
std::string MakeBomb() {
    std::string line = "You hear the steady drip of water somewhere in the dark passage ahead";
    line.resize(76, '.');
    line += "\r\n";
    std::string block;
    while (block.size() + line.size() <= 65536) block += line;
    z_stream stream{};
    deflateInit(&stream, 9);
    std::string out = CompressStart();
    std::string chunk(1 << 16, '\0');
    for (std::uint64_t produced = 0; produced < kBombBytes;) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), kBombBytes - produced));
        produced += length;
        stream.next_in = reinterpret_cast<Bytef*>(block.data());
        stream.avail_in = static_cast<uInt>(length);
        const int flush = produced == kBombBytes ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
            stream.avail_out = static_cast<uInt>(chunk.size());
            deflate(&stream, flush);
            out.append(chunk.data(), chunk.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

// Sends the flood once told to go, then ends its side and notes when; stays connected (reading
// what the client sends) until stopped, so the close the client sees is the server's own.
class FloodServer {
  public:
    explicit FloodServer(Flood flood) : m_flood(flood) {
        const std::vector<GameLine> lines = MakeGameLines();
        if (flood == Flood::Plain) m_stream = GameText(lines, 16u << 20);
        if (flood == Flood::Mccp2)
            m_stream = Mccp2Start() + Deflate(GameText(lines, 8u << 20), 9, 1024);
        if (flood == Flood::Bomb) m_stream = MakeBomb();
        m_thread = std::thread([this] { Serve(); });
    }
    ~FloodServer() {
        m_stop = true;
        m_go = true;
        m_thread.join();
    }
    FloodServer(const FloodServer&) = delete;
    FloodServer& operator=(const FloodServer&) = delete;

    std::uint16_t Port() const { return m_listener.port; }
    std::size_t SentBytes() const { return m_sentBytes; }
    void Go() { m_go = true; }
    bool Closed() const { return m_closed; }
    Clock::time_point ClosedAt() const { return m_closedAt; }

  private:
    void Serve() {
        const int client = m_listener.Accept();
        if (client < 0) return;
        while (!m_go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (m_flood == Flood::Idle) {
            while (!m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            close(client);
            return;
        }
        if (m_flood == Flood::Bomb) {
            if (SendAll(client, m_stream)) m_sentBytes += m_stream.size();
        } else {
            if (m_flood == Flood::Mccp2) SendAll(client, "\xFF\xFB\x56");
            // A finished stream ends compression; the next copy starts it again.
            const auto until = Clock::now() + kFloodTime;
            while (Clock::now() < until && !m_stop && SendAll(client, m_stream))
                m_sentBytes += m_stream.size();
        }
        m_closedAt = Clock::now();
        shutdown(client, SHUT_WR);
        m_closed = true;
        timeval timeout{0, 100'000};
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char discard[4096];
        while (!m_stop && recv(client, discard, sizeof discard, 0) != 0) {
        }
        close(client);
    }

    Flood m_flood;
    std::string m_stream;
    LoopbackListener m_listener;
    std::atomic<bool> m_go{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_closed{false};
    std::atomic<std::size_t> m_sentBytes{0};
    Clock::time_point m_closedAt;
    std::thread m_thread;
};

// Posts one key at a time (an x, then a Backspace, ...) and waits for the paint that shows it.
class Typist {
  public:
    explicit Typist(QWidget* target) : m_target(target) {}
    ~Typist() { Stop(); }
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    void Start() {
        // The first key event makes Qt's default keyboard device, a QObject that belongs on the
        // main thread.
        QKeyEvent first(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier);
        m_thread = std::thread([this] { Type(); });
    }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }

    // After a paint of the input line showing length characters.
    void CheckPainted(std::int32_t length, Clock::time_point now) {
        const int key = m_current;
        if (key < 0 || m_seenIndex >= key || length != (key % 2 == 0 ? 1 : 0)) return;
        m_latencies[static_cast<std::size_t>(key)] =
            Millis(now - m_sent[static_cast<std::size_t>(key)]);
        m_seenIndex = key;
    }

    // Latencies of the keys; a key never painted counts as the time it waited (unpainted).
    std::vector<double> Latencies(Clock::time_point end, int& unpainted) const {
        std::vector<double> result;
        unpainted = 0;
        for (int key = 0; key <= m_current; ++key) {
            const auto index = static_cast<std::size_t>(key);
            if (m_latencies[index] >= 0) {
                result.push_back(m_latencies[index]);
            } else {
                ++unpainted;
                result.push_back(Millis(end - m_sent[index]));
            }
        }
        return result;
    }

  private:
    static constexpr int kMaxKeys = 4096;

    void Type() {
        std::mt19937 random(5);
        for (int key = 0; key < kMaxKeys && !m_stop; ++key) {
            const bool letter = key % 2 == 0;
            m_sent[static_cast<std::size_t>(key)] = Clock::now();
            m_current = key;
            QCoreApplication::postEvent(
                m_target, new QKeyEvent(QEvent::KeyPress, letter ? Qt::Key_X : Qt::Key_Backspace,
                                        Qt::NoModifier, letter ? "x" : "\b"));
            QCoreApplication::postEvent(
                m_target, new QKeyEvent(QEvent::KeyRelease, letter ? Qt::Key_X : Qt::Key_Backspace,
                                        Qt::NoModifier, letter ? "x" : "\b"));
            const auto giveUp = Clock::now() + kKeyGiveUp;
            while (m_seenIndex < key && !m_stop && Clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            if (m_seenIndex < key) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(15 + random() % 20));
        }
    }

    QWidget* m_target;
    std::array<Clock::time_point, kMaxKeys> m_sent{};
    std::array<double, kMaxKeys> m_latencies = [] {
        std::array<double, kMaxKeys> values{};
        values.fill(-1);
        return values;
    }();
    std::atomic<int> m_current{-1};
    std::atomic<int> m_seenIndex{-1};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct CaseResult {
    Spread keys;
    int unpainted = 0;
    double peakMb = 0;
    double baseMb = 0;
    double closeSeenMs = -1;  // from the server's close; -1: not seen
};

// One case in this process; prints its figures and writes them to resultPath.
int RunCase(Flood flood, const char* resultPath, int argc, char** argv) {
    QApplication application(argc, argv);
    FloodServer server(flood);
    PrepareClientFolder(std::string("ostrak-key-bench-") + kFloodNames[static_cast<int>(flood)]);
    QtPlatform platform;
    CApp app;
    if (!app.Create(&platform)) return 1;
    IPaneControl* input = app.InputLine().Control();
    Typist typist(AsQtPaneControl(input)->Widget());
    PaintWatch watch(PaintedWidget(app.InputLine()), [&](Clock::time_point now) {
        typist.CheckPainted(input->GetTextLength(), now);
    });
    app.SubmitText("/connect 127.0.0.1 " + std::to_string(server.Port()) + "\r\n");

    CaseResult result;
    Clock::time_point started{};
    Clock::time_point ended{};
    const auto limit = Clock::now() + std::chrono::seconds(10) + kBombDeadline;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (started == Clock::time_point{}) {
            if (!app.IsConnected()) {
                if (now > limit) app.Port()->DestroyWindow();
                return;
            }
            result.baseMb = ResidentBytes() / 1e6;
            started = now;
            server.Go();
            typist.Start();
            return;
        }
        const bool closeSeen = server.Closed() && !app.IsConnected();
        if (closeSeen) result.closeSeenMs = Millis(now - server.ClosedAt());
        const bool done = flood == Flood::Idle ? now - started > kIdleTime : closeSeen;
        if (done || now - started > kBombDeadline) {
            ended = now;
            app.Port()->DestroyWindow();
        }
    });
    watcher.start(10);
    app.Run();
    typist.Stop();
    if (ended == Clock::time_point{}) ended = Clock::now();
    std::vector<double> latencies = typist.Latencies(ended, result.unpainted);
    result.keys = SpreadOf(latencies);
    result.peakMb = PeakResidentBytes() / 1e6;
    IPaneControl* output = app.OutputPane().Control();
    const std::int32_t shownChars = output->GetTextLength();
    app.Destroy();

    std::printf(
        "  %-5s (%6.1f MB sent): keys %4zu  median %7.2f ms  p99 %8.2f ms  max "
        "%8.2f ms",
        kFloodNames[static_cast<int>(flood)], server.SentBytes() / 1e6, result.keys.count,
        result.keys.median, result.keys.p99, result.keys.max);
    if (result.unpainted) std::printf("  (%d never painted)", result.unpainted);
    std::printf("\n        peak RSS %.0f MB (%.0f MB before the flood); ", result.peakMb,
                result.baseMb);
    std::printf("output pane holds %.1f M characters; ", shownChars / 1e6);
    if (flood == Flood::Idle) {
        std::printf("no close\n");
    } else if (result.closeSeenMs >= 0) {
        std::printf("server's close seen %.0f ms after it\n", result.closeSeenMs);
    } else {
        std::printf("server's close NOT seen within %lld s\n",
                    static_cast<long long>(kBombDeadline.count()));
    }
    std::FILE* file = std::fopen(resultPath, "w");
    if (!file) return 1;
    std::fprintf(file, "%f %f %f\n", result.keys.median, result.keys.p99, result.keys.max);
    std::fclose(file);
    return 0;
}

// Runs one case as a child process and reads back its median, p99 and max.
bool RunChild(const char* self, Flood flood, Spread& keys) {
    const std::string path =
        (std::filesystem::temp_directory_path() /
         (std::string("ostrak-key-bench-") + kFloodNames[static_cast<int>(flood)] + ".txt"))
            .string();
    std::filesystem::remove(path);
    std::fflush(stdout);
    char* const args[] = {const_cast<char*>(self),
                          const_cast<char*>(kFloodNames[static_cast<int>(flood)]),
                          const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self, nullptr, nullptr, args, environ) != 0) return false;
    // The case bounds itself; this is only a guard against a hang.
    const auto guard = Clock::now() + std::chrono::seconds(120);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (Clock::now() > guard) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            std::printf("  %s: did not end within 120 s\n", kFloodNames[static_cast<int>(flood)]);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::ifstream file(path);
    return static_cast<bool>(file >> keys.median >> keys.p99 >> keys.max);
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3) {
        for (int i = 0; i < 4; ++i) {
            if (std::strcmp(argv[1], kFloodNames[i]) == 0)
                return RunCase(static_cast<Flood>(i), argv[2], 1, argv);
        }
        std::printf("usage: %s [idle|plain|mccp2|bomb RESULT-FILE]\n", argv[0]);
        return 2;
    }
    std::printf(
        "typed key -> input line painted, one key at a time every 15-35 ms, each case in "
        "a process of its own\n");
    Spread idle;
    if (!RunChild("/proc/self/exe", Flood::Idle, idle)) return 1;
    for (const Flood flood : {Flood::Plain, Flood::Mccp2, Flood::Bomb}) {
        Spread keys;
        if (!RunChild("/proc/self/exe", flood, keys)) continue;
        std::printf("        ratio to idle: median %.2fx, p99 %.2fx\n", keys.median / idle.median,
                    keys.p99 / idle.p99);
    }
    return 0;
}
