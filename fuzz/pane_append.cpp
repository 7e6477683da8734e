// The output pane's append path against the plain model that rescans everything on every
// call: fuzzer-chosen URL prefixes, text cut into fuzzer-chosen appends, output held and
// released, PML tags reset. Both must show the same text in the same formats, queue the same
// PML tags and keep the same pending text after every step.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/PaneAppendModel.h"
#include "tests/support/RecordingPaneControl.h"
#include "ui/RichPane.h"

namespace {

void Fail(const char* what, const std::string& log) {
    std::fprintf(stderr, "pane append: %s after %s\n", what, log.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<std::string> prefixes;
    for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        prefixes.push_back(input.ConsumeRandomLengthString(8));
    }

    RecordingPaneFactory factory;
    CRichPane pane;
    if (!pane.Create(factory, nullptr, 0, 100, 100, true)) Fail("no control", "");
    pane.SetUrlPrefixes(prefixes);
    PaneAppendModel model(prefixes);

    std::string log;
    for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
        const std::uint8_t what = input.ConsumeIntegral<std::uint8_t>();
        if (what < 16) {
            model.ToggleHold(pane, log);
        } else if (what < 24) {
            model.ResetPml(pane, log);
        } else {
            const std::string text = input.ConsumeRandomLengthString(256);
            log += "[" + text + "]";
            pane.Append(text);
            model.Append(text);
        }
        if (factory.last->Runs() != model.control.Runs()) Fail("shown text differs", log);
        if (pane.Pending() != model.pending) Fail("pending text differs", log);
        if (pane.PmlQueue() != model.pml) Fail("PML queue differs", log);
    }
    return 0;
}
