// Compressed streams in both directions.
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/net/EngineHarness.h"

namespace {

const std::string kStart2 = Bytes({255, 250, 86, 255, 240});
const std::string kStart1 = Bytes({255, 250, 85, 251, 240});

// The bytes a fresh compressor sends for text with a sync flush: a stream that has begun but
// not ended. With Z_FINISH, the whole stream up to its end.
std::string OpenStream(const std::string& text, int flush = Z_SYNC_FLUSH) {
    z_stream stream{};
    deflateInit(&stream, 6);
    std::string out(text.size() + 256, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, flush);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

TEST(MccpIn, PlainStartAndCompressedTextInOneReadKeepTheirOrder) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.SendUncompressed("plain\r\n" + kStart2 + OpenStream("zipped\r\nmore\r\n"));
    // Shown at once, not only when the server sends again.
    ASSERT_TRUE(h.PumpUntilShown("more\r\n"));
    EXPECT_EQ(h.host.shown, "plain\r\nzipped\r\nmore\r\n");
    EXPECT_TRUE(h.engine.IsCompressIn());
    h.engine.ShowTelnetReport();
    EXPECT_NE(h.host.events.back().find("Data from server is being received compressed.\r\n"),
              std::string::npos);
}

TEST(MccpIn, PlainBytesAfterTheStreamEndFollowTheInflatedText) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.StartCompression(2);
    h.server.Send("inside\r\npar");
    h.server.EndCompression("tial\r\n" + Bytes({255, 253, 1}) + "plain again\r\n");
    ASSERT_TRUE(h.PumpUntilShown("plain again\r\n"));
    EXPECT_EQ(h.host.lines,
              (std::vector<std::string>{"inside\r\n", "partial\r\n", "plain again\r\n"}));
    EXPECT_FALSE(h.engine.IsCompressIn());
    EXPECT_EQ(h.engine.GetTelnetOption(1), 253);

    // A new stream may start on the same connection.
    h.server.StartCompression(1);
    h.server.Send("second stream\r\n");
    ASSERT_TRUE(h.PumpUntilShown("second stream\r\n"));
    EXPECT_TRUE(h.engine.IsCompressIn());
}

TEST(MccpIn, StartSequenceSplitAcrossReads) {
    for (const std::string& start : {kStart2, kStart1}) {
        EngineHarness h;
        ASSERT_TRUE(h.Connect());
        h.server.SendSplit({"a\r\n" + start.substr(0, 3), start.substr(3) + OpenStream("b\r\n")});
        ASSERT_TRUE(h.PumpUntilShown("b\r\n"));
        EXPECT_EQ(h.host.shown, "a\r\nb\r\n");
        EXPECT_TRUE(h.engine.IsCompressIn());
    }
}

TEST(MccpIn, CompressedTextSplitAcrossReads) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    const std::string stream = OpenStream("first line\r\nsecond line\r\n");
    h.server.SendSplit({kStart2 + stream.substr(0, 5), stream.substr(5, 4), stream.substr(9)});
    ASSERT_TRUE(h.PumpUntilShown("second line\r\n"));
    EXPECT_EQ(h.host.shown, "first line\r\nsecond line\r\n");
}

TEST(MccpIn, CorruptDataDisconnects) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.SendUncompressed("ok\r\n" + kStart2 + "this is not a zlib stream at all\r\n");
    ASSERT_TRUE(h.PumpUntil([&] { return !h.engine.IsConnected(); }));
    const std::vector<std::string> expected = {"show:ok\r\n",
                                               "error:inflate() failed with error -3\r\n",
                                               "error:Disconnected\r\n", "disconnect:0"};
    EXPECT_EQ(std::vector<std::string>(h.host.events.end() - 4, h.host.events.end()), expected);
    EXPECT_FALSE(h.engine.IsCompressIn());
    EXPECT_EQ(h.engine.GetBufferedBytes(), 0u);
}

// What the stream carries is never taken as compressed data again: a start sequence inside it
// starts nothing, whether the commands after it come in the same read, in a later one, or after
// the stream's end in the same read.
TEST(MccpIn, StartSequenceInsideTheStreamStartsNothing) {
    const std::string echo = Bytes({255, 251, 1});
    for (int variant = 0; variant < 3; ++variant) {
        EngineHarness h;
        ASSERT_TRUE(h.Connect());
        if (variant == 0) {
            h.server.SendUncompressed("a\r\n" + kStart2 +
                                      OpenStream("b\r\n" + kStart2 + echo + "c\r\n"));
        } else if (variant == 1) {
            h.server.SendUncompressed("a\r\n");
            h.server.StartCompression(2);
            h.server.Send("b\r\n" + kStart2);
            h.server.Pause(50);
            h.server.Send(echo + "c\r\n");
        } else {
            h.server.SendUncompressed("a\r\n" + kStart2 +
                                      OpenStream("b\r\n" + kStart1 + echo + "c\r\n", Z_FINISH) +
                                      "d\r\n");
        }
        const std::string last = variant == 2 ? "d\r\n" : "c\r\n";
        ASSERT_TRUE(h.PumpUntilShown(last)) << "variant " << variant << ": " << h.host.shown;
        EXPECT_EQ(h.host.shown, "a\r\nb\r\nc\r\n" + (variant == 2 ? last : "")) << variant;
        EXPECT_EQ(h.engine.GetTelnetOption(1), 251) << variant;
        EXPECT_EQ(h.engine.IsCompressIn(), variant != 2);
        EXPECT_TRUE(h.engine.IsConnected());
    }
}

// Lines inflated before the corrupt part of a read are the server's text and are shown.
TEST(MccpIn, LinesBeforeCorruptDataInTheSameReadAreShown) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // 0xFF opens a block of the reserved type: corrupt right after the flushed lines.
    h.server.SendUncompressed(kStart2 + OpenStream("one\r\ntwo\r\nthr") + Bytes({255, 255}));
    ASSERT_TRUE(h.PumpUntil([&] { return !h.engine.IsConnected(); }));
    const std::vector<std::string> expected = {"show:one\r\n", "show:two\r\n",
                                               "error:inflate() failed with error -3\r\n",
                                               "error:Disconnected\r\n", "disconnect:0"};
    EXPECT_EQ(std::vector<std::string>(h.host.events.end() - 5, h.host.events.end()), expected);
}

TEST(MccpIn, OutputFillingTheChunkExactlyIsNotAnError) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // Exactly one inflate chunk of text, then a pause with nothing more to inflate.
    std::string text;
    while (text.size() + 128 <= CTelnetEngine::kInflateChunk) text += std::string(62, 'q') + "\r\n";
    text += std::string(CTelnetEngine::kInflateChunk - text.size() - 2, 'r') + "\r\n";
    ASSERT_EQ(text.size(), CTelnetEngine::kInflateChunk);
    h.server.StartCompression(2);
    h.server.Send(text);
    h.server.Pause(50);
    h.server.Send("next\r\n");
    ASSERT_TRUE(h.PumpUntilShown("next\r\n"));
    EXPECT_TRUE(h.engine.IsConnected());
    EXPECT_EQ(h.host.shown, text + "next\r\n");
}

TEST(MccpOut, TypedLinesReachTheServerCompressed) {
    for (int version : {2, 1}) {
        EngineHarness h;
        ASSERT_TRUE(h.Connect());
        h.server.Send(Bytes({255, 253, version == 2 ? 86 : 85}));
        const std::string start = version == 2 ? kStart2 : kStart1;
        ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsCompressOut(); }));
        h.engine.SendToServer("look\r\n", 6);
        h.engine.SendToServer("", 0);  // nothing to add: the stream stays sound
        h.engine.SendToServer("say hi\r\n", 8);
        EXPECT_TRUE(h.engine.IsConnected());
        const std::string expected = kOffers + start + "look\r\nsay hi\r\n";
        ASSERT_TRUE(h.PumpUntilReceived(expected)) << h.server.Received().size();
        EXPECT_TRUE(h.server.ClientCompresses());
        EXPECT_EQ(h.server.Received(), expected);
    }
}

// A second version's DO while the client already compresses would put a start sequence inside
// the running stream: it is refused, and the stream goes on sound.
TEST(MccpOut, SecondVersionIsRefusedWhileCompressing) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 253, 85, 255, 253, 86}));
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsCompressOut(); }));
    h.Settle();
    h.engine.SendToServer("look\r\n", 6);
    const std::string expected = kOffers + kStart1 + Bytes({255, 252, 86}) + "look\r\n";
    ASSERT_TRUE(h.PumpUntilReceived(expected)) << h.server.Received().size();
    EXPECT_EQ(h.server.Received(), expected);
    EXPECT_EQ(h.engine.GetTelnetOption(86), 254);
}
