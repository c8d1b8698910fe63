// One complete write, over and over: CVexloView, CSerialLink and its watch
// thread on a pseudo-terminal, the substitute pager emulating the wire at
// 57,600 bps (191 us a byte) and handing its replies over as a CP210x bridge
// does (6 bytes every 1.04 ms, unless --whole). Reports the median wall time
// of a write (from the press of the button to the end of the transaction)
// and its ratio to the pacing floor: the pauses the workflow takes, plus
// whatever part of each request's wire time, the pager's turnaround and the
// reply's delivery does not fit into the pause after that request.
// Usage: write_bench [repetitions] [--whole]   (default 7, in pieces)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/quiet_form.h"
#include "ports/explicit_port_source.h"
#include "serial/serial_link.h"
#include "sim/pty_pager.h"
#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace {

using namespace std::chrono;

// The pause after each request of a write, in the order they are sent, and
// the bytes of the request and its reply.
struct Step {
    int pauseMs;
    int requestBytes;
    int replyBytes;
};
const std::vector<Step> kWriteSteps = {
    {80, 9, 73}, {80, 9, 73},                            // blocks 4 and 5
    {20, 5, 5},                                          // read finish
    {20, 5, 5},                                          // write start
    {80, 73, 5}, {80, 73, 5}, {80, 73, 5}, {80, 73, 5},  // four blocks
    {20, 5, 5},  {20, 5, 5},                             // write finish, closing
};
// Before the first block, before read finish, after write start, after the
// blocks, after write finish, after closing, and before the port closes.
constexpr int kOtherPausesMs = 7 * 100;

double ReplyMs(int bytes, const sn::sim::Delivery& d) {
    if (d.Whole()) {
        return bytes * 0.191;
    }
    const auto pieces = (static_cast<std::size_t>(bytes) + d.pieceBytes - 1) / d.pieceBytes;
    return static_cast<double>(pieces) * static_cast<double>(d.interval.count()) / 1000.0;
}

double FloorMs(microseconds turnaround, const sn::sim::Delivery& d) {
    double floor = kOtherPausesMs;
    for (const Step& s : kWriteSteps) {
        const double wire =
            s.requestBytes * 0.191 + turnaround.count() / 1000.0 + ReplyMs(s.replyBytes, d);
        floor += std::max<double>(s.pauseMs, wire);
    }
    return floor;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 7;
    sn::sim::PtyPagerOptions options;
    options.lineRate = true;
    options.turnaround = microseconds(500);
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--whole") {
            options.delivery = sn::sim::kWholeReplies;
        } else {
            reps = std::max(1, std::atoi(argv[i]));
        }
    }
    sn::sim::SubstitutePager pager;
    sn::sim::PtyPager runner(pager, options);
    if (!runner.Start()) {
        std::fprintf(stderr, "no pty: %s\n", runner.LastError().c_str());
        return 1;
    }
    sn::ExplicitPortSource ports(runner.PortPath());
    sn::LinkState state;
    sn::CSerialLink link(state);
    sn::SystemClock clock;
    sn::PortSelection selection;
    sn::bench::QuietForm form;
    sn::CVexloView view(form, link, ports, clock, selection);
    form.Attach(&view);
    view.OnInitialUpdate();
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        pager.SetNumbered(false);
        view.OnTimer(0);
        if (view.LastTickOutcome() != sn::TickOutcome::Ready) {
            std::fprintf(stderr, "the pager is not ready\n");
            return 1;
        }
        form.SetSerialText("AB12CD34EF");
        view.OnSerialKillFocus();
        const auto t0 = steady_clock::now();
        view.OnWriteButton();
        view.WaitForTransaction();
        times.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
        if (form.Status() != sn::text::kCompleted) {
            for (const std::string& box : form.TakeBoxes()) {
                std::fprintf(stderr, "box: %s\n", box.c_str());
            }
            std::fprintf(stderr, "write %d failed\n", i);
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double floor = FloorMs(options.turnaround, options.delivery);
    std::printf(
        "complete write at line rate, replies %s: median %.1f ms over %d (min %.1f, "
        "max %.1f)\n",
        sn::sim::DeliveryName(options.delivery).c_str(), median, reps, times.front(), times.back());
    std::printf("pacing floor %.1f ms (pauses %d ms); ratio %.3f\n", floor,
                kOtherPausesMs + 6 * 80 + 4 * 20, median / floor);
    return 0;
}
