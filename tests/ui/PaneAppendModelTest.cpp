// Checks the append path against a plain model of it that works the slow, obvious way: it
// rescans and edits the whole pending text on every call. The pane keeps scan positions
// between calls instead; both must show the same text in the same formats, queue the same PML
// tags and keep the same pending text, however the text is cut into appends.

#include <random>

#include "tests/ui/PaneTestSupport.h"

namespace {

bool IsUrlByte(unsigned char b) { return b >= 0x21 && b <= 0x7F; }

class ModelPane {
  public:
    explicit ModelPane(std::vector<std::string> prefixes) : m_prefixes(std::move(prefixes)) {
        for (std::string& prefix : m_prefixes) {
            for (char& c : prefix)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        CharFormat all;
        all.mask = CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
        all.textColour = kTextColour;
        all.backColour = 0;
        control.SetAllFormat(all);
    }

    void Append(const std::string& text) {
        pending += text;
        if (held) return;
        MarkUrls();
        Render();
    }

    RecordingPaneControl control;
    std::string pending;
    std::deque<std::string> pml;
    bool held = false;
    // The last byte rendered was a link start code.
    bool followsLinkStart = false;

  private:
    static constexpr Colour kTextColour = 0xd0d0d0;

    void MarkUrls() {
        std::string& s = pending;
        std::size_t p = 0;
        if (followsLinkStart) {
            while (p < s.size() && IsUrlByte(static_cast<unsigned char>(s[p]))) ++p;
        }
        while (p < s.size()) {
            const auto b = static_cast<unsigned char>(s[p]);
            if (b == 0x19 || b == 0x1A) {
                const std::size_t close = s.find(static_cast<char>(b), p + 1);
                if (close == std::string::npos) return;
                p = close + 1;
                continue;
            }
            if (b == 0xC1) {
                ++p;
                while (p < s.size() && IsUrlByte(static_cast<unsigned char>(s[p]))) ++p;
                continue;
            }
            bool boundary = p == 0;
            if (!IsUrlByte(b)) {
                ++p;
                continue;
            }
            if (!boundary) {
                const auto before = static_cast<unsigned char>(s[p - 1]);
                boundary = before <= 0x20 || before >= 0x80 ||
                           (p >= 7 && (static_cast<unsigned char>(s[p - 7]) & 0xC4) == 0xC4);
            }
            bool marked = false;
            for (const std::string& prefix : m_prefixes) {
                if (!boundary || p + prefix.size() > s.size()) continue;
                bool same = true;
                for (std::size_t k = 0; k < prefix.size(); ++k) {
                    same = same && std::tolower(static_cast<unsigned char>(s[p + k])) ==
                                       static_cast<unsigned char>(prefix[k]);
                }
                if (!same) continue;
                std::size_t last = p;
                while (last + 1 < s.size() && IsUrlByte(static_cast<unsigned char>(s[last + 1]))) {
                    ++last;
                }
                if (last + 1 == s.size()) continue;
                s.insert(last + 1, 1, '\x81');
                s.insert(p, 1, '\xC1');
                p = last + 3;
                marked = true;
                break;
            }
            if (!marked) ++p;
        }
    }

    void Insert(const std::string& run) {
        if (run.empty()) return;
        control.SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
        control.ReplaceSelection(run, false);
    }

    void Render() {
        std::string& s = pending;
        for (;;) {
            std::size_t i = 0;
            while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80 && s[i] != 0x19 &&
                   s[i] != 0x1A) {
                ++i;
            }
            if (i == s.size()) break;
            const auto b = static_cast<unsigned char>(s[i]);
            if (b == 0x19 || b == 0x1A) {
                const std::size_t close = s.find(static_cast<char>(b), i + 1);
                if (close == std::string::npos) return;
                Insert(s.substr(0, i));
                const std::string inner = s.substr(i + 1, close - i - 1);
                std::size_t next = close + 1;
                if (b == 0x19) {
                    pml.push_back(inner);
                    if (next < s.size() && s[next] == '\r') ++next;
                    if (next < s.size() && s[next] == '\n') ++next;
                } else {
                    const bool hex =
                        !inner.empty() && inner.size() <= 8 &&
                        inner.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
                    const unsigned long value = hex ? std::stoul(inner, nullptr, 16) : 0;
                    if (value != 0 && (value & 0xFFFF) != 0) {
                        control.SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
                        control.ReplaceSelectionUtf16(static_cast<char16_t>(value & 0xFFFF), false);
                    }
                }
                s.erase(0, next);
                followsLinkStart = false;
                continue;
            }
            Insert(s.substr(0, i));
            s.erase(0, i);
            if (i > 0) followsLinkStart = false;
            unsigned char c = static_cast<unsigned char>(s[0]);
            CharFormat f;
            f.effects = (c & 0x40) ? CharFormat::kEffects : 0;
            if (c & 0x20) f.mask |= CharFormat::kBold;
            if (c & 0x10) f.mask |= CharFormat::kItalic;
            if (c & 0x08) f.mask |= CharFormat::kUnderline;
            if (c & 0x02) f.mask |= CharFormat::kStrikeout;
            if (c & 0x04) {
                f.mask |= CharFormat::kColour;
                f.textColour = kTextColour;
                if (c & 0x40) {
                    if (s.size() < 7) return;
                    if (!ParseHexColour(s.substr(1, 6), f.textColour)) {
                        f.mask &= ~CharFormat::kColour;
                        s[0] = static_cast<char>(c & ~0x04);
                        c = static_cast<unsigned char>(s[0]);
                    }
                }
            }
            constexpr std::uint32_t kAll =
                CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
            if (c & 0x01) {
                if (c & 0x40) {
                    control.SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
                    const CharFormat now = control.GetSelectionFormat();
                    m_saved = now;
                    f.mask = kAll;
                    f.effects = 4;
                    f.textColour = 0xffffff;
                    f.backColour = 0;
                } else {
                    f.mask = kAll;
                    f.effects = m_saved.effects;
                    f.textColour = m_saved.textColour;
                    f.backColour = m_saved.backColour;
                }
            }
            control.SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
            control.SetSelectionFormat(f);
            s.erase(0, (c & 0x44) == 0x44 ? 7 : 1);
            followsLinkStart = c == 0xC1;
        }
        if (!s.empty()) followsLinkStart = false;
        Insert(s);
        s.clear();
    }

    std::vector<std::string> m_prefixes;
    CharFormat m_saved;
};

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
        ModelPane model(prefixes);
        std::string log;
        std::uniform_int_distribution<int> action(0, 9);
        for (int step = 0; step < 12; ++step) {
            const int what = action(random);
            if (what == 0) {
                pane.m_holdByUser = model.held = !model.held;
                log += model.held ? "<hold>" : "<release>";
                if (!model.held) {
                    pane.Flush();
                    if (!model.pending.empty()) model.Append("");
                }
            } else if (what == 1) {
                std::erase(pane.m_pending, '\x19');
                std::erase(model.pending, '\x19');
                log += "<resetpml>";
            } else {
                const std::string text = RandomText(random);
                log += "[" + text + "]";
                pane.Append(text);
                model.Append(text);
            }
            ASSERT_EQ(factory.last->Runs(), model.control.Runs())
                << "seed " << seed << " round " << round << ": " << log;
            ASSERT_EQ(pane.m_pending, model.pending) << log;
            ASSERT_EQ(pane.m_pmlQueue, model.pml) << log;
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
                ModelPane model(prefixes);
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
                ASSERT_EQ(pane.m_pending, model.pending) << "offset " << offset;
                ASSERT_EQ(pane.m_pmlQueue, model.pml) << "offset " << offset;
            }
        }
    }
}

}  // namespace
