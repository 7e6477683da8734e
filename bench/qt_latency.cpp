// Latency from a game server's send to the line reaching the output pane, on the real Qt event
// loop with the real application object: the socket wakes the loop, the tick reads, the pane
// logic renders into the Qt control.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/App.h"
#include "ui/qt/QtPlatform.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLines = 2000;
constexpr auto kGap = std::chrono::milliseconds(2);

std::vector<Clock::time_point> g_sent(kLines);
std::vector<Clock::time_point> g_seen(kLines);
std::atomic<int> g_seenCount{0};

// Forwards every operation to the real control and notes when a probe line is inserted.
class TimingControl : public IPaneControl {
  public:
    explicit TimingControl(std::unique_ptr<IPaneControl> inner) : m_inner(std::move(inner)) {}
    void GetSelection(std::int32_t& s, std::int32_t& e) const override {
        m_inner->GetSelection(s, e);
    }
    void SetSelection(std::int32_t s, std::int32_t e) override { m_inner->SetSelection(s, e); }
    void ReplaceSelection(std::string_view text, bool undo) override {
        const auto now = Clock::now();
        for (std::size_t at = text.find("PING "); at != std::string_view::npos;
             at = text.find("PING ", at + 1)) {
            const int index = std::atoi(std::string(text.substr(at + 5, 8)).c_str());
            if (index >= 0 && index < kLines) {
                g_seen[index] = now;
                ++g_seenCount;
            }
        }
        m_inner->ReplaceSelection(text, undo);
    }
    void ReplaceSelectionUtf16(char16_t c, bool undo) override {
        m_inner->ReplaceSelectionUtf16(c, undo);
    }
    CharFormat GetSelectionFormat() const override { return m_inner->GetSelectionFormat(); }
    void SetSelectionFormat(const CharFormat& f) override { m_inner->SetSelectionFormat(f); }
    void SetAllFormat(const CharFormat& f) override { m_inner->SetAllFormat(f); }
    void SetFont(const std::string& face, unsigned size) override { m_inner->SetFont(face, size); }
    std::string GetTextRange(std::int32_t s, std::int32_t e) const override {
        return m_inner->GetTextRange(s, e);
    }
    std::int32_t GetTextLength() const override { return m_inner->GetTextLength(); }
    std::string GetText() const override { return m_inner->GetText(); }
    void Clear() override { m_inner->Clear(); }
    std::int32_t CharFromPos(std::int32_t x, std::int32_t y) const override {
        return m_inner->CharFromPos(x, y);
    }
    Rect GetFormattingRect() const override { return m_inner->GetFormattingRect(); }
    void SetPasswordChar(char16_t c) override { m_inner->SetPasswordChar(c); }
    void Move(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override {
        m_inner->Move(x, y, w, h);
    }
    Size GetClientSize() const override { return m_inner->GetClientSize(); }
    void SetBackColour(Colour c) override { m_inner->SetBackColour(c); }
    void SetFocus() override { m_inner->SetFocus(); }

  private:
    std::unique_ptr<IPaneControl> m_inner;
};

class TimingWindow : public IWindowPort {
  public:
    explicit TimingWindow(std::unique_ptr<IWindowPort> inner) : m_inner(std::move(inner)) {}
    void Show() override { m_inner->Show(); }
    void DestroyWindow() override { m_inner->DestroyWindow(); }
    bool Exists() const override { return m_inner->Exists(); }
    Rect GetWindowRect() const override { return m_inner->GetWindowRect(); }
    ::Size GetClientSize() const override { return m_inner->GetClientSize(); }
    ::Size GetFrameSize() const override { return m_inner->GetFrameSize(); }
    void SetTitle(const std::string& t) override { m_inner->SetTitle(t); }
    void StartTimer(int id, int ms) override { m_inner->StartTimer(id, ms); }
    void StopTimer(int id) override { m_inner->StopTimer(id); }
    void SetMouseCapture(bool c) override { m_inner->SetMouseCapture(c); }
    void FillRect(const Rect& r) override { m_inner->FillRect(r); }
    MessageBoxAnswer ShowMessageBox(const std::string& t, const std::string& c,
                                    MessageBoxKind k) override {
        return m_inner->ShowMessageBox(t, c, k);
    }
    void WatchSocket(int d) override { m_inner->WatchSocket(d); }
    std::unique_ptr<IPaneControl> CreatePaneControl(bool isOutput, const Rect& r,
                                                    IPaneEvents& e) override {
        auto control = m_inner->CreatePaneControl(isOutput, r, e);
        if (!isOutput || !control) return control;
        return std::make_unique<TimingControl>(std::move(control));
    }

  private:
    std::unique_ptr<IWindowPort> m_inner;
};

class TimingPlatform : public QtPlatform {
  public:
    std::unique_ptr<IWindowPort> CreateWindow(const WindowCreateParams& params, CWindow& owner,
                                              int& errorCode) override {
        auto window = QtPlatform::CreateWindow(params, owner, errorCode);
        if (!window) return window;
        return std::make_unique<TimingWindow>(std::move(window));
    }
};

// One client, one probe line every kGap, each stamped just before its send.
void Serve(int listener) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) return;
    int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < kLines; ++i) {
        char line[64];
        const int length = std::snprintf(line, sizeof line, "PING %d of the latency probe\r\n", i);
        g_sent[i] = Clock::now();
        if (send(client, line, static_cast<size_t>(length), MSG_NOSIGNAL) != length) break;
        std::this_thread::sleep_for(kGap);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    close(client);
}

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const auto folder = std::filesystem::temp_directory_path() / "ostrak-latency-bench";
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0) {
        std::perror("listen");
        return 1;
    }
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread server(Serve, listener);

    QApplication application(argc, argv);
    TimingPlatform platform;
    CApp app;
    if (!app.Create(&platform)) return 1;
    app.SubmitText("/connect 127.0.0.1 " + std::to_string(ntohs(address.sin_port)) + "\r\n");

    const auto deadline = Clock::now() + std::chrono::seconds(30);
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (g_seenCount.load() >= kLines || Clock::now() > deadline) app.Port()->DestroyWindow();
    });
    stopper.start(50);
    app.Run();
    app.Destroy();
    server.join();
    close(listener);

    std::vector<double> latencies;
    for (int i = 0; i < kLines; ++i) {
        if (g_seen[i] != Clock::time_point{}) latencies.push_back(Millis(g_seen[i] - g_sent[i]));
    }
    if (latencies.empty()) {
        std::printf("no probe line reached the pane\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<std::size_t>(q * latencies.size()))];
    };
    std::printf(
        "server send -> output pane, %zu of %d lines: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
        latencies.size(), kLines, at(0.5), at(0.99), latencies.back());
    return 0;
}
