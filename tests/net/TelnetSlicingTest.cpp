// Work on received bytes is cut into slices of time. Where a slice ends must change nothing of
// what is shown, in which order and in which pieces, nor hide the server's close, and a stream
// that expands without end must keep the buffers within a fixed bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "net/TelnetEngine.h"
#include "tests/support/QueuedSocket.h"
#include "tests/support/RecordingTelnetHost.h"
#include "tests/support/ScriptedTelnetServer.h"

namespace {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint32_t kBombMebibytes = 64;
#else
constexpr std::uint32_t kBombMebibytes = 1024;
#endif

// How the engine's slices end.
struct Slicing {
    const char* name;
    bool everyChunkEndsTheSlice;  // else the clock stands still: one slice does everything
    std::size_t chunk;
};

struct SlicedEngine {
    explicit SlicedEngine(const Slicing& slicing) {
        engine.SetSlicing(
            [this, every = slicing.everyChunkEndsTheSlice] {
                if (every) now += std::chrono::seconds(1);
                return now;
            },
            std::chrono::milliseconds(1), slicing.chunk);
        engine.CmdConnect("sliced.invalid:23");
        engine.PollConnection();
    }

    // One tick after another until the work is done; false if it never ends.
    bool RunOut(std::size_t maxTicks) {
        for (; ticks < maxTicks; ++ticks) {
            if (!engine.IsConnected()) return true;
            const std::uint64_t before = host.shownBytes;
            engine.ProcessIncoming();
            largestTick = std::max<std::uint64_t>(largestTick, host.shownBytes - before);
            largestStorage = std::max(largestStorage, engine.GetBufferCapacity());
            if (wire.reads.empty() && !engine.HasPendingWork()) return true;
        }
        return false;
    }

    QueuedSocket::Wire wire;
    RecordingTelnetHost host;
    CTelnetEngine engine{host, [this] { return SocketPtr(new QueuedSocket(wire)); }};
    Clock::time_point now{};
    std::size_t ticks = 0;
    std::uint64_t largestTick = 0;
    std::size_t largestStorage = 0;
};

std::string Bytes(std::initializer_list<int> values) {
    std::string result;
    for (int value : values) result += static_cast<char>(value);
    return result;
}

// A stream with every kind of telnet content, plain and compressed, and the text it shows.
struct MixedStream {
    std::string wire;
    std::string shown;
};

MixedStream MakeMixedStream() {
    MixedStream stream;
    for (int i = 0; i < 3000; ++i) {
        const std::string number = std::to_string(i);
        stream.wire += "plain " + number + Bytes({255, 255}) + " cr" + Bytes({13, 0}) + "\r\n";
        stream.shown += "plain " + number + Bytes({255}) + " cr\r\r\n";
        if (i % 500 == 7) {
            stream.wire += Bytes({255, 251, 1}) + "hp> " + Bytes({255, 249});
            stream.wire += Bytes({255, 250, 24, 0, 'x', 255, 255, 255, 240});
            stream.shown += "hp> ";
        }
    }
    std::string payload;
    for (int i = 0; i < 3000; ++i) {
        payload += "inflated line " + std::to_string(i) + " with some words\r\n";
    }
    payload += std::string(150 * 1024, 'L') + "\r\n";
    stream.shown += payload;
    payload += Bytes({255, 253, 3}) + "after commands" + Bytes({255, 255}) + "\r\n";
    stream.shown += "after commands" + Bytes({255}) + "\r\n";
    stream.wire += Bytes({255, 250, 86, 255, 240}) + ScriptedTelnetServer::Compress(payload);
    stream.wire += "plain again\r\n";
    stream.shown += "plain again\r\n";
    return stream;
}

std::deque<std::string> Reads(const std::string& stream, std::size_t size) {
    std::deque<std::string> reads;
    for (std::size_t at = 0; at < stream.size(); at += size)
        reads.push_back(stream.substr(at, size));
    return reads;
}

}  // namespace

TEST(TelnetSlicing, EveryByteIsHandedOutInOrderAndInTheSamePiecesWhereverSlicesEnd) {
    const MixedStream stream = MakeMixedStream();
    SlicedEngine reference(Slicing{"one slice", false, CTelnetEngine::kSliceChunk});
    reference.wire.reads = Reads(stream.wire, stream.wire.size());
    ASSERT_TRUE(reference.RunOut(10));
    EXPECT_EQ(reference.host.shown, stream.shown);
    EXPECT_EQ(reference.ticks, 0u);  // all of it in the tick that read it

    const Slicing slicings[] = {{"a chunk a slice", true, CTelnetEngine::kSliceChunk},
                                {"333 bytes a slice", true, 333},
                                {"one byte a slice", true, 1}};
    for (const Slicing& slicing : slicings) {
        for (std::size_t readSize : {stream.wire.size(), std::size_t{4000}}) {
            SCOPED_TRACE(std::string(slicing.name) + ", reads of " + std::to_string(readSize));
            SlicedEngine sliced(slicing);
            sliced.wire.reads = Reads(stream.wire, readSize);
            ASSERT_TRUE(sliced.RunOut(4 * stream.wire.size()));
            EXPECT_EQ(sliced.host.shown, stream.shown);
            EXPECT_EQ(sliced.host.lines, reference.host.lines);
            EXPECT_EQ(sliced.wire.sent, reference.wire.sent);
            EXPECT_TRUE(sliced.engine.IsConnected());
            // A slice hands out at most its chunk (or the text inflated when a compressed stream
            // ends, which is scanned whole) and the line that it completes.
            EXPECT_LE(sliced.largestTick, std::max(slicing.chunk, CTelnetEngine::kInflateChunk) +
                                              CTelnetEngine::kMaxLineLength);
        }
    }
}

TEST(TelnetSlicing, ServersCloseAfterAFloodIsSeenOnceAllBeforeItIsShown) {
    std::string lines;
    for (int i = 0; lines.size() < 2 * 1024 * 1024; ++i) {
        lines += "flood line " + std::to_string(i) + " of plain text\r\n";
    }
    const std::string floods[] = {
        lines, Bytes({255, 250, 86, 255, 240}) + ScriptedTelnetServer::Compress(lines + lines)};
    for (const std::string& flood : floods) {
        SlicedEngine sliced(Slicing{"a chunk a slice", true, CTelnetEngine::kSliceChunk});
        sliced.wire.reads = Reads(flood, 1024 * 1024);
        sliced.wire.closeAtEnd = true;
        ASSERT_TRUE(sliced.RunOut(100000));
        EXPECT_GT(sliced.ticks, 10u);
        EXPECT_FALSE(sliced.engine.IsConnected());
        const std::string expected = &flood == &floods[0] ? lines : lines + lines;
        EXPECT_EQ(sliced.host.shown, expected);
        const std::vector<std::string>& events = sliced.host.events;
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events[events.size() - 2], "error:Disconnected\r\n");
        EXPECT_EQ(events.back(), "disconnect:0");
    }
}

TEST(TelnetSlicing, EndlessLineBombKeepsTheBuffersWithinAFixedBound) {
    const std::string bomb = ScriptedTelnetServer::MakeRepeatedStream('a', kBombMebibytes);
    const std::string wire = Bytes({255, 250, 86, 255, 240}) + bomb + "end\r\n";
    // The real clock and budget, reads as large as the socket's.
    SlicedEngine sliced(Slicing{"real time", false, CTelnetEngine::kSliceChunk});
    sliced.engine.SetSlicing(nullptr);
    sliced.host.countOnly = true;
    sliced.wire.reads = Reads(wire, 64 * 1024);
    ASSERT_TRUE(sliced.RunOut(10'000'000));
    // The compressed bytes may wait whole; of the text, one chunk behind a line piece.
    EXPECT_LE(sliced.largestStorage,
              2 * (bomb.size() + CTelnetEngine::kInflateChunk + CTelnetEngine::kMaxLineLength));
    EXPECT_LE(sliced.host.longestLine, CTelnetEngine::kMaxLineLength);
    EXPECT_EQ(sliced.host.shownBytes, std::uint64_t{kBombMebibytes} * 1024 * 1024 + 5);
    EXPECT_FALSE(sliced.engine.IsCompressIn());
}
