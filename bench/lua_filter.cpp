// Server lines through an onReceive filter written in Lua: the real CTelnetEngine reads game
// text from a sender thread over 127.0.0.1, every line passes the script host's onReceive walk
// into the real Lua script system, and what comes back is appended to the output pane's text
// logic. The anchor is the same run without a filter, so the ratio is what one Lua filter costs
// a player.
#include <poll.h>
#include <unistd.h>

#include <filesystem>

#include "bench/BenchSupport.h"
#include "bench/CountingPane.h"
#include "bench/StreamSender.h"
#include "net/TelnetEngine.h"
#include "script/ScriptHost.h"
#include "ui/RichPane.h"

namespace {

using namespace bench;

constexpr int kRuns = 3;
constexpr std::size_t kLines = 1'000'000;

// The engine's host as the application is: lines through the scripts, then into the pane.
class PaneHost : public ITelnetHost {
  public:
    PaneHost(CScriptHost* scripts, CRichPane& pane) : m_scripts(scripts), m_pane(pane) {}

    void Report(TelnetMessageKind, std::string_view) override {}
    void ReportBlock(std::span<const TelnetMessagePart>) override {}
    void ShowText(std::string_view text) override {
        m_pane.Append(text);
        shown += text.size();
        ++lines;
    }
    bool HasReceiveFilter() override { return m_scripts != nullptr; }
    void FilterReceivedLine(std::string& line) override {
        line = m_scripts->FireReceive(line);
        if (!m_scripts->m_message.empty() && !errors++)
            std::printf("  (script error: %s)\n", m_scripts->m_message.c_str());
    }
    void FireConnected() override {}
    void FireConnectFailed() override {}
    void FireDisconnect(bool) override { disconnected = true; }
    PaneMetrics MeasureOutputPane() override { return {800, 600, 8, 16}; }
    std::int64_t CurrentTimeSeconds() override { return 0; }
    void WatchSocket(int) override {}

    std::uint64_t shown = 0;
    std::uint64_t lines = 0;
    int errors = 0;
    bool disconnected = false;

  private:
    CScriptHost* m_scripts;
    CRichPane& m_pane;
};

// Lines per second of one run: connect, then read until every line was shown.
double RunLines(const std::string& stream, CScriptHost* scripts) {
    Sender sender(stream);
    CountingFactory factory;
    CRichPane pane;
    pane.Create(factory, nullptr, 0, 640, 480, true);
    pane.SetUrlPrefixes(InstalledUrlPrefixes());
    PaneHost host(scripts, pane);
    CTelnetEngine engine(host);
    const double seconds = ReadStream(
        engine, sender, [&] { return host.lines >= kLines || host.disconnected; }, 120);
    if (host.lines != kLines)
        std::printf("  (%llu of %zu lines shown)\n", static_cast<unsigned long long>(host.lines),
                    kLines);
    return static_cast<double>(host.lines) / seconds;
}

// A script host with the Lua system of the run folder, loaded from a scratch folder that holds
// only that library and the filter script.
struct LuaHost {
    explicit LuaHost(const std::string& script) {
        folder = std::filesystem::temp_directory_path() /
                 ("ostrak-bench-lua-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(OSTRAK_RUN_DIR "/LuaScripting.so", folder / "LuaScripting.so",
                                   std::filesystem::copy_options::overwrite_existing);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        if (!host.LoadSystems() || !host.Execute(script)) {
            std::printf("the Lua system did not start: %s\n", host.m_message.c_str());
            std::exit(1);
        }
    }
    ~LuaHost() {
        host.UnloadSystems();
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }

    CScriptHost host;
    std::filesystem::path folder;
    std::filesystem::path previous;
};

// Best of kRuns with the filter and without, taken in turns so both see the same machine load.
void Measure(const char* name, const std::string& text, const char* script) {
    LuaHost lua(script);
    double plain = 0;
    double filtered = 0;
    for (int run = 0; run < kRuns; ++run) {
        plain = std::max(plain, RunLines(text, nullptr));
        filtered = std::max(filtered, RunLines(text, &lua.host));
    }
    std::printf("%-24s %8.0f lines/s; without a filter %8.0f lines/s: %.2fx\n", name, filtered,
                plain, filtered / plain);
}

}  // namespace

int main() {
    const std::vector<GameLine> lines = MakeGameLines();
    std::string text;
    for (std::size_t i = 0; i < kLines; ++i) text += lines[i % lines.size()].encoded;
    std::printf("%zu server lines of %.1f bytes on average, best of %d runs each\n", kLines,
                AverageLineBytes(lines), kRuns);

    const char* identity =
        "function identity(line) return line end\n"
        "register_event('onReceive', 'identity')\n";
    // A trigger as players write them: look for a phrase, colour the line when it is there.
    const char* trigger =
        "function trigger(line)\n"
        "  if string.find(line, 'hits you', 1, true) then\n"
        "    return '\\196ff0000' .. line\n"
        "  end\n"
        "  return line\n"
        "end\n"
        "register_event('onReceive', 'trigger')\n";

    Measure("Lua identity filter", text, identity);
    Measure("Lua string.find trigger", text, trigger);
    return 0;
}
