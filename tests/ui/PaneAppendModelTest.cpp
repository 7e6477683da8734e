// Checks the append path against the plain model of it (tests/support/PaneAppendModel.h),
// however the text is cut into appends.

#include <random>

#include "tests/support/PaneAppendModel.h"
#include "tests/ui/PaneTestSupport.h"

namespace {

const char* const kPieces[] = {
    "http://", "HTTP://", "www.", "ww",   "w",  "h",    "a",    "b.c",    " ",      " ",    "\r\n",
    "\n",      "\x19",    "\x1a", "263a", "41", "0",    "\xC4", "ff0000", "00FF00", "zz",   "\xE0",
    "\xA0",    "\xBE",    "\xC1", "\x81", "x",  "\xE4", "/",    "10000",  "\x84",   "\xFF", "\r"};

std::string RandomText(std::mt19937& random) {
    std::uniform_int_distribution<std::size_t> count(0, 30);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
    std::string text;
    for (std::size_t n = count(random); n > 0; --n) text += kPieces[piece(random)];
    return text;
}

void RunModelComparison(const std::vector<std::string>& prefixes, unsigned seed, int rounds) {
    std::mt19937 random(seed);
    for (int round = 0; round < rounds; ++round) {
        RecordingPaneFactory factory;
        CRichPane pane;
        ASSERT_TRUE(pane.Create(factory, nullptr, 0, 100, 100, true));
        pane.SetUrlPrefixes(prefixes);
        PaneAppendModel model(prefixes);
        std::string log;
        std::uniform_int_distribution<int> action(0, 9);
        for (int step = 0; step < 12; ++step) {
            const int what = action(random);
            if (what == 0) {
                model.ToggleHold(pane, log);
            } else if (what == 1) {
                model.ResetPml(pane, log);
            } else {
                const std::string text = RandomText(random);
                log += "[" + text + "]";
                pane.Append(text);
                model.Append(text);
            }
            ASSERT_EQ(factory.last->Runs(), model.control.Runs())
                << "seed " << seed << " round " << round << ": " << log;
            ASSERT_EQ(pane.Pending(), model.pending) << log;
            ASSERT_EQ(pane.PmlQueue(), model.pml) << log;
        }
    }
}

TEST(PaneAppendModel, SameResultAsRescanningEverythingEachTime) {
    RunModelComparison({"http://", "www."}, 1, 3000);
}

TEST(PaneAppendModel, SameResultWithShortAndOverlappingPrefixes) {
    RunModelComparison({"a", "ww", "www.", "b.c", "0"}, 2, 3000);
}

TEST(PaneAppendModel, SameResultWithPrefixesInCapitalsAndOneByteOnes) {
    RunModelComparison({"HTTP://", "https://", "wWw.", "ftp://", "x"}, 5, 2000);
}

TEST(PaneAppendModel, SameResultWithPrefixesThatAreNoUrlStart) {
    RunModelComparison({"", "h"}, 3, 1500);
    RunModelComparison({"\xC1"
                        "a",
                        "\x1a"
                        "2",
                        " w"},
                       4, 1500);
}

// Whole lines are scanned 64 bytes at a time, with the bytes before and after each chunk taken
// into account; URLs, colour codes and delimiters are put at every offset around the chunk ends.
TEST(PaneAppendModel, SameResultWherePrefixesMeetChunkEnds) {
    const std::vector<std::string> prefixes{"http://", "www.", "x"};
    const std::string tails[] = {
        "http://a.b ",
        "\xC4"
        "00ff00www.c ",
        "Www.d\r\n",
        "x",
        "\x19t\x19",
        "\xC1y/z ",
        "ahttp://no ",
        "\x1a"
        "41\x1a",
        "ww",
    };
    for (const std::string& tail : tails) {
        for (std::size_t offset = 0; offset < 140; ++offset) {
            std::string text;
            for (std::size_t k = 0; k < offset; ++k) text += "ab c\xE0"[k % 5];
            text += tail;
            text += "  http://e.f\xA0 tail";
            for (const bool wholeText : {true, false}) {
                RecordingPaneFactory factory;
                CRichPane pane;
                ASSERT_TRUE(pane.Create(factory, nullptr, 0, 100, 100, true));
                pane.SetUrlPrefixes(prefixes);
                PaneAppendModel model(prefixes);
                if (wholeText) {
                    pane.Append(text);
                    model.Append(text);
                } else {
                    // An open PML tag holds the first part back; when it closes, the scan goes
                    // on from the middle of the text.
                    const std::string first = "\x19tag" + text.substr(0, offset / 2);
                    const std::string second = "\x19" + text.substr(offset / 2);
                    pane.Append(first);
                    model.Append(first);
                    pane.Append(second);
                    model.Append(second);
                }
                ASSERT_EQ(factory.last->Runs(), model.control.Runs())
                    << "offset " << offset << " tail " << tail;
                ASSERT_EQ(pane.Pending(), model.pending) << "offset " << offset;
                ASSERT_EQ(pane.PmlQueue(), model.pml) << "offset " << offset;
            }
        }
    }
}

}  // namespace
