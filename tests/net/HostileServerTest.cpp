// A server that sends without end must not take the client down: memory stays bounded and
// nothing that can be shown is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "net/Socket.h"
#include "tests/net/EngineHarness.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint32_t kBombMebibytes = 64;
#else
constexpr std::uint32_t kBombMebibytes = 1024;
#endif

// Storage the engine may hold while working through a burst: the raw backlog and one read on
// top, one chunk of inflated output behind a line piece, with room for buffer growth.
constexpr std::size_t kMemoryBound =
    2 * (CTelnetEngine::kMaxRawBacklog + CSocket::kMaxReceivePerCall +
         CTelnetEngine::kInflateChunk + CTelnetEngine::kMaxLineLength);

const std::string kStart2 = Bytes({255, 250, 86, 255, 240});

}  // namespace

TEST(HostileServer, DecompressionBombIsInflatedInBoundedStepsWithNothingLost) {
    EngineHarness h;
    h.host.countOnly = true;
    std::string last;
    h.host.filter = [&](std::string& line) { last = line; };
    ASSERT_TRUE(h.Connect());
    const std::string bomb = ScriptedTelnetServer::MakeZeroStream(kBombMebibytes);
    h.server.SendUncompressed("before\r\n" + kStart2 + bomb + "after the bomb\r\n");
    ASSERT_TRUE(h.server.WaitIdle(10000));

    std::size_t largest = 0;
    bool pendingSeen = false;
    const bool done = h.PumpUntil(
        [&] {
            largest = std::max(largest, h.engine.GetBufferCapacity());
            pendingSeen = pendingSeen || h.engine.HasPendingWork();
            return last == "after the bomb\r\n";
        },
        30000);
    ASSERT_TRUE(done);
    EXPECT_TRUE(pendingSeen);  // the work went on without new bytes arriving
    EXPECT_LE(largest, kMemoryBound);
    EXPECT_LE(h.host.longestLine, CTelnetEngine::kMaxLineLength);
    const std::uint64_t zeros = std::uint64_t{kBombMebibytes} * 1024 * 1024;
    EXPECT_EQ(h.host.shownBytes, 8 + zeros + 16);
    EXPECT_FALSE(h.engine.IsCompressIn());
    EXPECT_TRUE(h.engine.IsConnected());
}

TEST(HostileServer, OneTickWorksOneSliceAndTheNextTicksFinish) {
    EngineHarness h;
    h.host.countOnly = true;
    // Every look at the clock finds the slice over.
    std::chrono::steady_clock::time_point now{};
    h.engine.SetSlicing([&now] { return now += std::chrono::seconds(1); });
    ASSERT_TRUE(h.Connect());
    h.server.SendUncompressed(kStart2 + ScriptedTelnetServer::MakeZeroStream(16) + "end\r\n");
    ASSERT_TRUE(h.server.WaitIdle());
    ASSERT_TRUE(h.PumpUntil([&] { return h.host.shownBytes > 0; }));
    EXPECT_LE(h.host.shownBytes, CTelnetEngine::kMaxLineLength);
    EXPECT_TRUE(h.engine.HasPendingWork());
    int ticks = 0;
    while (h.engine.HasPendingWork() && ticks < 10000) {
        h.engine.ProcessIncoming();
        ++ticks;
    }
    EXPECT_GE(ticks, 16 * 1024 * 1024 / CTelnetEngine::kInflateChunk);
    EXPECT_FALSE(h.engine.HasPendingWork());
    EXPECT_EQ(h.host.shownBytes, 16u * 1024 * 1024 + 5);
}

TEST(HostileServer, EndlessSubnegotiationIsDroppedAndTextAfterItShown) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    std::string junk(CTelnetEngine::kMaxSubnegotiation + 1000, 'x');
    junk.back() = static_cast<char>(255);  // its IAC SE is split across reads
    h.server.SendSplit({"before\r\nhalf" + Bytes({255, 250, 24}) + junk,
                        std::string(5000, 'y') + Bytes({255}),
                        Bytes({240}) + " done\r\n" + Bytes({255, 253, 1})});
    ASSERT_TRUE(h.PumpUntilShown("done\r\n", 5000));
    EXPECT_EQ(h.host.shown, "before\r\nhalf done\r\n");
    EXPECT_EQ(h.engine.GetTelnetOption(1), 253);
    EXPECT_LE(h.engine.GetBufferedBytes(), 16u);
}

TEST(HostileServer, SubnegotiationEndingInItsOwnReadAfterTheBound) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.SendSplit(
        {Bytes({255, 250, 24}) + std::string(CTelnetEngine::kMaxSubnegotiation + 1, 'x'),
         "more junk" + Bytes({255, 240}) + "text\r\n"});
    ASSERT_TRUE(h.PumpUntilShown("text\r\n"));
    EXPECT_EQ(h.host.shown, "text\r\n");
}

TEST(HostileServer, LineThatNeverEndsIsHandedOutInPieces) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    std::string text;
    for (std::size_t i = 0; i < 3 * CTelnetEngine::kMaxLineLength + 100; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    h.server.Send(text);
    ASSERT_TRUE(h.PumpUntil([&] { return h.host.lines.size() == 3; }));
    h.Settle(30);
    EXPECT_EQ(h.host.lines.size(), 3u);
    for (const std::string& piece : h.host.lines) {
        EXPECT_EQ(piece.size(), CTelnetEngine::kMaxLineLength);
    }
    h.server.Send("\r\n");
    ASSERT_TRUE(h.PumpUntil([&] { return h.host.lines.size() == 4; }));
    EXPECT_EQ(h.host.lines.back().size(), 102u);
    EXPECT_EQ(h.host.shown, text + "\r\n");
}

TEST(HostileServer, FloodOfPlainTextKeepsTheBuffersSmall) {
    EngineHarness h;
    h.host.countOnly = true;
    // With the slice clock standing still every tick takes all it read, so what is measured is
    // the bound on each read, not whether this machine keeps up (a slow one builds a backlog of
    // its own, bounded separately).
    h.engine.SetSlicing([] { return std::chrono::steady_clock::time_point{}; });
    ASSERT_TRUE(h.Connect());
    std::string line(78, 'w');
    line += "\r\n";
    std::string block;
    while (block.size() < 1024 * 1024) block += line;
    for (int i = 0; i < 16; ++i) h.server.Send(block);
    std::size_t largest = 0;
    ASSERT_TRUE(h.PumpUntil(
        [&] {
            largest = std::max(largest, h.engine.GetBufferCapacity());
            return h.host.shownBytes == 16 * block.size();
        },
        10000));
    EXPECT_LE(largest, 2 * CSocket::kMaxReceivePerCall);
}
