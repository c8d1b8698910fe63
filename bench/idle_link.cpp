// CPU time of a serial link left open with no traffic: the watch thread must
// sleep in the OS until bytes arrive, not poll.
// Usage: idle_link [seconds]   (default 10)

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "serial/serial_link.h"
#include "sim/pty_pager.h"

namespace {

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    sn::sim::SubstitutePager pager;
    sn::sim::PtyPager runner(pager);
    if (!runner.Start()) {
        std::fprintf(stderr, "no pty: %s\n", runner.LastError().c_str());
        return 1;
    }
    sn::LinkState state;
    sn::CSerialLink link(state);
    if (link.Open(runner.PortPath(), 57600, 8, 2, 0) != 1) {
        std::fprintf(stderr, "open failed: %s\n", link.LastOpenError().c_str());
        return 1;
    }
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    link.Close();
    std::printf("idle link: %.2f s wall, %.4f s CPU (%.4f %% of a core)\n", wall, cpu,
                100.0 * cpu / wall);
    return 0;
}
