// Reading the information area and its mirror: sntool read, and the read
// back of --verify.

#include <array>
#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/session_internal.h"
#include "protocol/checksum.h"
#include "protocol/pager_memory.h"
#include "workflow/texts.h"

namespace sn::cli {

namespace {

constexpr std::array<unsigned, 4> kAreaBlocks = {4, 5, 240, 241};

std::string Hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
    return buf;
}

// The offset of the first byte where the mirror (second half of the read)
// differs from the information area, or kInfoAreaSize when they match.
std::size_t FirstMirrorDifference(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < kInfoAreaSize; ++i) {
        if (bytes[i] != bytes[kInfoAreaSize + i]) {
            return i;
        }
    }
    return kInfoAreaSize;
}

}  // namespace

BlockReadResult Session::ReadArea() {
    CSerialLink& link = station_.Link();
    station_.State().replyStatus = kReplyNone;
    link.RenewReplyEvent();
    if (link.IsOpen() == 0 && OpenCradlePort(link, View().LastPortName()) == 0) {
        return {"sntool: the cradle's port could not be opened again", {}};
    }
    std::atomic<bool> stopping{false};
    PagerExchange exchange(link, station_.Clock(), stopping);
    form_.ShowProgress(true);
    BlockReadResult r =
        ReadPagerBlocks(exchange, kAreaBlocks, [this](int p) { form_.SetProgress(p); });
    form_.ShowProgress(false);
    link.Close();
    return r;
}

void Session::PrintArea(const std::vector<std::uint8_t>& bytes) {
    const auto at = [&](std::size_t address) {
        return address >= kMirrorAreaStart ? bytes[address - kMirrorAreaStart + kInfoAreaSize]
                                           : bytes[address - kInfoAreaStart];
    };
    std::string serial;
    bool blank = true;
    for (std::size_t i = 0; i < kSerialLength; ++i) {
        const std::uint8_t b = at(kSerialAddress + i);
        blank = blank && b == 0xFF;
        serial += PrintableChar(b);
    }
    const std::string model = PrintableText(ModelCodeOf(std::span(bytes).first(kInfoAreaSize)));
    const std::uint8_t stored = at(kInfoChecksumAddress);
    const std::uint8_t sum =
        SumChecksum(std::span(bytes).first(kInfoChecksumAddress - kInfoAreaStart));
    const std::size_t mirrorDiff = FirstMirrorDifference(bytes);
    form_.Say("Serial number: " + (blank ? std::string("(none)") : serial));
    form_.Say("Model code:    " + (model.empty() ? std::string("(none)") : model));
    form_.Say("Mark byte:     " + Hex(at(kMarkByteAddress), 2) + " at 0x013F");
    form_.Say("Checksum:      " + Hex(stored, 2) + " at 0x015F, " +
              (stored == sum ? std::string("right")
                             : "wrong (0x0100-0x015E sum to " + Hex(sum, 2) + ")"));
    form_.Say(
        "Mirror:        " +
        (mirrorDiff == kInfoAreaSize
             ? std::string("0x3C00-0x3C7F matches the information area")
             : "differs first at " + Hex(static_cast<unsigned>(kMirrorAreaStart + mirrorDiff), 4)));
}

int Session::Read() {
    const TickOutcome outcome = WaitForPager();
    if (outcome != TickOutcome::Ready && outcome != TickOutcome::AlreadyNumbered) {
        return TimeoutExit(outcome);
    }
    const BlockReadResult r = ReadArea();
    if (!r.errorText.empty()) {
        form_.MessageBox(r.errorText, text::kCaption, BoxIcon::Stop);
        return kExitReadError;
    }
    PrintArea(r.bytes);
    return kExitDone;
}

int Session::Verify() {
    const BlockReadResult r = ReadArea();
    if (!r.errorText.empty()) {
        form_.MessageBox(r.errorText, text::kCaption, BoxIcon::Stop);
        return kExitReadError;
    }
    const auto& image = View().PagerImage();
    for (std::size_t i = 0; i < r.bytes.size(); ++i) {
        const std::size_t address =
            i < kInfoAreaSize ? kInfoAreaStart + i : kMirrorAreaStart + (i - kInfoAreaSize);
        if (r.bytes[i] != image[address]) {
            err_ << "Verify: mismatch at " << Hex(static_cast<unsigned>(address), 4) << ": written "
                 << Hex(image[address], 2) << ", read back " << Hex(r.bytes[i], 2) << "\n";
            return kExitVerifyMismatch;
        }
    }
    if (o_.command != "batch") {  // a batch says it in the pager's line
        form_.Say("Verify: blocks 4, 5, 240 and 241 read back as written.");
    }
    return kExitDone;
}

}  // namespace sn::cli
