// Reading the information area and its mirror: sntool read, resume's look
// at what the pager holds, and what a read back found.

#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/session_internal.h"
#include "protocol/checksum.h"
#include "protocol/pager_memory.h"

namespace sn::cli {

namespace {

std::string Hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
    return buf;
}

// The address where the mirror first differs from the information area.
std::optional<unsigned> FirstMirrorDifference(const PagerArea& area) {
    for (std::size_t i = 0; i < kInfoAreaSize; ++i) {
        if (area.info[i] != (*area.mirror)[i]) {
            return static_cast<unsigned>(kMirrorAreaStart + i);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string MismatchLine(const Mismatch& m) {
    return "Verify: mismatch at " + Hex(m.address, 4) + ": written " + Hex(m.written, 2) +
           ", read back " + Hex(m.read, 2);
}

std::optional<PagerArea> Session::SeatedArea(int& code) {
    const TickOutcome outcome = WaitForPager();
    if (outcome != TickOutcome::Ready && outcome != TickOutcome::AlreadyNumbered) {
        code = TimeoutExit(outcome);
        return std::nullopt;
    }
    console_.BeginProgress();
    const PagerResult r = Engine().Read();
    console_.EndProgress();
    if (r.outcome != Outcome::Read) {
        console_.ShowError(r.error);
        code = kExitReadError;
        return std::nullopt;
    }
    return r.area;
}

void Session::PrintArea(const PagerArea& area) {
    const std::string serial = area.SerialBefore();
    const std::string model = area.Model();
    const std::uint8_t stored = area.At(kInfoChecksumAddress);
    const std::uint8_t sum =
        SumChecksum(std::span(area.info).first(kInfoChecksumAddress - kInfoAreaStart));
    const auto mirrorDiff = FirstMirrorDifference(area);
    console_.Say("Serial number: " + (serial.empty() ? std::string("(none)") : serial));
    console_.Say("Model code:    " + (model.empty() ? std::string("(none)") : model));
    console_.Say("Mark byte:     " + Hex(area.At(kMarkByteAddress), 2) + " at 0x013F");
    console_.Say("Checksum:      " + Hex(stored, 2) + " at 0x015F, " +
                 (stored == sum ? std::string("right")
                                : "wrong (0x0100-0x015E sum to " + Hex(sum, 2) + ")"));
    console_.Say("Mirror:        " +
                 (mirrorDiff ? "differs first at " + Hex(*mirrorDiff, 4)
                             : std::string("0x3C00-0x3C7F matches the information area")));
}

int Session::Read() {
    int code = kExitDone;
    if (const auto area = SeatedArea(code)) {
        PrintArea(*area);
    }
    return code;
}

}  // namespace sn::cli
