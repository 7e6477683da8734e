#include "tests/support/PaneAppendModel.h"

#include <cctype>

#include "ui/FormatCodes.h"

namespace {

constexpr Colour kTextColour = 0xd0d0d0;

bool IsUrlByte(unsigned char b) { return b >= 0x21 && b <= 0x7F; }

}  // namespace

PaneAppendModel::PaneAppendModel(std::vector<std::string> prefixes)
    : m_prefixes(std::move(prefixes)) {
    for (std::string& prefix : m_prefixes) {
        for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    CharFormat all;
    all.mask = CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
    all.textColour = kTextColour;
    all.backColour = 0;
    control.SetAllFormat(all);
}

void PaneAppendModel::Append(const std::string& text) {
    pending += text;
    if (held) return;
    MarkUrls();
    Render();
}

void PaneAppendModel::MarkUrls() {
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

void PaneAppendModel::Insert(const std::string& run) {
    if (run.empty()) return;
    control.SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
    control.ReplaceSelection(run, false);
}

void PaneAppendModel::Render() {
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
                m_linkOpen = true;
                f.mask = kAll;
                f.effects = 4;
                f.textColour = 0xffffff;
                f.backColour = 0;
            } else if (m_linkOpen) {
                m_linkOpen = false;
                f.mask = kAll;
                f.effects = m_saved.effects;
                f.textColour = m_saved.textColour;
                f.backColour = m_saved.backColour;
            } else {
                // Nothing saved: back to the pane's default text format.
                f.mask = kAll;
                f.effects = 0;
                f.textColour = 0xd0d0d0;
                f.backColour = 0;
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

void PaneAppendModel::ToggleHold(CRichPane& pane, std::string& log) {
    held = !held;
    pane.SetHoldByUser(held);
    log += held ? "<hold>" : "<release>";
    if (held) return;
    pane.Flush();
    if (!pending.empty()) Append("");
}

void PaneAppendModel::ResetPml(CRichPane& pane, std::string& log) {
    pane.ResetPml();
    std::erase(pending, '\x19');
    log += "<resetpml>";
}
