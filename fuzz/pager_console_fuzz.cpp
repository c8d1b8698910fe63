// pagersim's console: any lines, in any order. Every command answers with
// whole lines, only quit ends the session, plug and unplug touch only the
// cradle's link, and the pager keeps answering a probe afterwards as its
// seating says.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "sim/pager_console.h"
#include "sim/reply_frames.h"

namespace {

namespace fs = std::filesystem;

using sn::fuzz::Require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const sn::fuzz::ScratchDir scratch("console-fuzz");
    const fs::path& dir = scratch.Path();
    const fs::path link = dir / "cradle";
    std::error_code ec;
    fs::remove(link, ec);

    sn::sim::SubstitutePager pager;
    sn::sim::PagerConsole console(pager, "/dev/null", link.string());
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string line;
    for (int n = 0; n < 200 && std::getline(in, line); ++n) {
        bool quit = false;
        const std::string out = console.Execute(line, quit);
        Require(out.empty() || out.back() == '\n');
        std::istringstream words(line);
        std::string word;
        words >> word;
        Require(quit == (word == "quit" || word == "exit"));
        if (quit) {
            break;
        }
        // Nothing but the link itself appears in its folder.
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            Require(e.path() == link);
        }
    }
    pager.ClearFaults();
    const auto replies = pager.Receive(sn::FrameTextToBytes(sn::kPresenceProbeFrame), {});
    Require(replies.empty() == !pager.IsSeated());
    if (!replies.empty()) {
        Require(replies.front().bytes == sn::sim::AckReply());
    }
    return 0;
}
