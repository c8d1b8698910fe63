// CPU time of a serial link left open with no traffic: the watch thread must
// sleep in the OS until bytes arrive, not poll. With --pulled the far end
// hangs up first (a cradle pulled out), and the link stays open on the dead
// port for the time measured.
// Usage: idle_link [seconds] [--pulled]   (default 10)

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
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
    double seconds = 10.0;
    bool pulled = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--pulled") {
            pulled = true;
        } else {
            seconds = std::atof(argv[i]);
        }
    }
    sn::sim::SubstitutePager pager;
    sn::sim::PtyPager runner(pager);
    if (!runner.Start()) {
        std::fprintf(stderr, "no pty: %s\n", runner.LastError().c_str());
        return 1;
    }
    sn::LinkState state;
    sn::CSerialLink link(state);
    if (OpenCradlePort(link, runner.PortPath()) != 1) {
        std::fprintf(stderr, "open failed: %s\n", link.LastOpenError().c_str());
        return 1;
    }
    if (pulled) {
        runner.Stop();
        for (int i = 0; i < 1000 && !link.HungUp(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!link.HungUp()) {
            std::fprintf(stderr, "the link did not see the hang-up\n");
            return 1;
        }
    }
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    link.Close();
    std::printf("idle link%s: %.2f s wall, %.4f s CPU (%.4f %% of a core)\n",
                pulled ? " after a pull" : "", wall, cpu, 100.0 * cpu / wall);
    return 0;
}
