// What a big production journal costs a write: builds a journal of ROWS rows
// (by default a number a row, as version 1.0.1 wrote them, which gives the
// most numbers to keep; with --pairs each pager's reservation and
// settlement, as this version writes them), then
// runs `sntool --simulate --log JOURNAL write ...` against it and against an
// empty journal, and a write of a number the journal has as used (refused
// before the cradle is even looked at). Reports the median wall time and
// peak memory of each, and the extra a big journal costs.
// Usage: ledger_bench [ROWS] [--runs N] [--pairs]   (default 1,000,000 rows, 3 runs)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Measured {
    int exit = -1;
    double seconds = 0;
    double peakMb = 0;
};

Measured Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    Measured m;
    if (pid < 0 || wait4(pid, &status, 0, &ru) < 0) {
        return m;
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.peakMb = static_cast<double>(ru.ru_maxrss) / 1024.0;
    return m;
}

// The median run's time, the largest peak, the first failing exit.
Measured Median(std::vector<Measured> all) {
    std::sort(all.begin(), all.end(),
              [](const Measured& a, const Measured& b) { return a.seconds < b.seconds; });
    Measured m = all[all.size() / 2];
    for (const Measured& x : all) {
        m.peakMb = std::max(m.peakMb, x.peakMb);
        m.exit = m.exit == 0 ? x.exit : m.exit;
    }
    return m;
}

void BuildJournal(const std::string& path, long rows, bool pairs) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("time,station,port,model,serial before,serial written,outcome,tool version\r\n", f);
    for (long i = 0; i < rows; ++i) {
        const bool reservation = pairs && i % 2 == 0;
        std::fprintf(f, "2026-12-07T13:38:%02ld+00:00,line-1,/dev/ttyUSB0,%s,,LB%08ld,%s,1.0.1\r\n",
                     i % 60, reservation ? "" : "KTN4070C", pairs ? i / 2 + 1 : i + 1,
                     reservation ? "reserved" : "verified");
    }
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    long rows = 1000000;
    int runs = 3;
    bool pairs = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pairs") == 0) {
            pairs = true;
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            rows = std::max(0L, std::atol(argv[i]));
        }
    }
    const fs::path dir = fs::temp_directory_path() / ("ledger_bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string big = (dir / "big.csv").string();
    const std::string empty = (dir / "empty.csv").string();
    BuildJournal(big, rows, pairs);
    BuildJournal(empty, 0, pairs);
    const std::string sntool = SNTOOL_PATH;
    // Every write goes to a fresh number, so the journals grow by two rows a run.
    int next = 0;
    const auto write = [&](const std::string& journal) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "NW%08d", ++next);
        return std::vector<std::string>{sntool, "--simulate", "--log", journal, "write", serial};
    };
    std::vector<Measured> without;
    std::vector<Measured> with;
    std::vector<Measured> refused;
    for (int i = 0; i < runs; ++i) {  // alternated, so that load hits all alike
        without.push_back(Run(write(empty)));
        with.push_back(Run(write(big)));
        if (rows >= 2) {
            refused.push_back(Run({sntool, "--simulate", "--log", big, "write", "LB00000001"}));
        }
    }
    const Measured a = Median(without);
    const Measured b = Median(with);
    const double mb = static_cast<double>(fs::file_size(big)) / 1e6;
    fs::remove_all(dir);
    std::printf("journal of %ld rows (%.0f MB, %s), median of %d runs:\n", rows, mb,
                pairs ? "two rows a number" : "a number a row", runs);
    std::printf("  simulated write, empty journal: %.2f s, peak RSS %.1f MB (exit %d)\n", a.seconds,
                a.peakMb, a.exit);
    std::printf("  simulated write, big journal:   %.2f s, peak RSS %.1f MB (exit %d)\n", b.seconds,
                b.peakMb, b.exit);
    std::printf("  extra: %.3f s wall, %.1f MB peak RSS (targets: <= 0.3 s, <= 64 MB in all)\n",
                b.seconds - a.seconds, b.peakMb - a.peakMb);
    Measured d;
    d.exit = 10;
    if (!refused.empty()) {
        d = Median(refused);
        std::printf("  refused duplicate: %.3f s, peak RSS %.1f MB (exit %d; target <= 0.3 s)\n",
                    d.seconds, d.peakMb, d.exit);
    }
    return a.exit == 0 && b.exit == 0 && d.exit == 10 ? 0 : 1;
}
