#pragma once
// Puts a view's form state where a test needs it to start from.

#include "workflow/vexlo_view.h"

namespace sn::testing {

struct ViewAccess {
    static void SetHasSerial(CVexloView& view, std::uint8_t bit) { view.hasSerial = bit; }
    static void SetWriteDone(CVexloView& view, int done) { view.writeDone = done; }
    static void SetSerialReady(CVexloView& view, int ready) { view.serialReady = ready; }
};

}  // namespace sn::testing
