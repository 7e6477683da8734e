#pragma once

#include <deque>
#include <string>
#include <vector>

#include "tests/support/RecordingPaneControl.h"
#include "ui/RichPane.h"

// A plain model of the output pane's append path that works the slow, obvious way: it rescans
// and edits the whole pending text on every call. The pane keeps scan positions between calls
// instead; both must show the same text in the same formats, queue the same PML tags and keep
// the same pending text, however the text is cut into appends. The pane's default colours and
// link format are assumed.
class PaneAppendModel {
  public:
    explicit PaneAppendModel(std::vector<std::string> prefixes);

    void Append(const std::string& text);
    // Steps done to a pane and to the model alike, each noted in the log: "Hold Output" on or
    // off (off releases what was held), and "/resetpml".
    void ToggleHold(CRichPane& pane, std::string& log);
    void ResetPml(CRichPane& pane, std::string& log);

    RecordingPaneControl control;
    std::string pending;
    std::deque<std::string> pml;
    bool held = false;
    // The last byte rendered was a link start code.
    bool followsLinkStart = false;

  private:
    void MarkUrls();
    void Insert(const std::string& run);
    void Render();

    std::vector<std::string> m_prefixes;
    CharFormat m_saved;
    bool m_linkOpen = false;
};
