#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/PaneControl.h"

class CWindow;

// One of the two panes of the main window (the output pane or the input line). The logic here
// is plain text processing; the control it drives is reached only through IPaneControl.
class CRichPane : public IPaneEvents {
public:
    CRichPane();
    ~CRichPane() override;
    CRichPane(const CRichPane&) = delete;
    CRichPane& operator=(const CRichPane&) = delete;

    // Creates the control at (0, top). The left edge is always 0.
    bool Create(IPaneFactory& instance, CWindow* parent, std::int32_t top, std::int32_t width,
                std::int32_t height, bool isOutput);
    // Destroys the control and restores every default except the URL prefixes.
    void Reset();
    void SetFont(const std::string& face, unsigned size);
    void SetUrlPrefixes(const std::vector<std::string>& prefixes);
    // Adds text to the pending text and displays what can be displayed; false while held.
    bool Append(std::string_view text, bool atSelection = false);
    void Flush();
    std::string GetText() const;
    std::string PopPmlTag();
    // Width in pixels of a control showing 100 columns; -1 on failure.
    std::int32_t PreferredWidth(ITextMeasure& measure) const;
    void WrapSelection(char letter);
    void SetPasswordMode(bool on);

    IPaneControl* Control() const { return m_control.get(); }
    bool IsOutput() const { return m_isOutput != 0; }

    // IPaneEvents
    void OnFocusChanged(bool hasFocus) override;
    void OnSizeChanged(std::int32_t width, std::int32_t height) override;
    bool OnKeyDown(int key, KeyModifiers modifiers) override;
    void OnChar(unsigned characterCode, KeyModifiers modifiers) override;
    void OnMouseMove(std::int32_t x, std::int32_t y) override;
    void OnLeftButtonUp(std::int32_t x, std::int32_t y) override;

    // State the main window reads and writes.
    std::uint8_t m_isOutput = 1;
    std::string m_fontFace = "Courier New";
    unsigned m_fontSize = 10;
    std::uint8_t m_holdByUser = 0;
    std::uint8_t m_holdZeroSize = 0;
    std::uint8_t m_hasFocus = 0;
    std::uint8_t m_passwordMode = 0;
    Colour m_textColour = 0xd0d0d0;
    Colour m_backColour = 0x000000;
    std::string m_pending;
    std::uint8_t m_overUrl = 0;
    std::string m_hoverUrl;
    std::uint32_t m_savedEffects = 0;
    Colour m_savedTextColour = 0;
    Colour m_savedBackColour = 0;
    std::uint32_t m_urlEffects = 4;
    Colour m_urlTextColour = 0xffffff;
    Colour m_urlBackColour = 0x000000;
    std::uint8_t m_menuOpen = 0;
    std::vector<std::string> m_urlPrefixes;
    std::deque<std::string> m_pmlQueue;

private:
    CWindow* m_parent = nullptr;
    std::unique_ptr<IPaneControl> m_control;
};
