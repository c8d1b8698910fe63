// A batch of pagers with --verify against the virtual cradle, as sntool runs
// it: the tool's own time per pager, from the monitor's tick that finds the
// pager seated to its row in the log, next to the floor of that time: the
// pauses of the tick's probe and status query, of the write transaction and
// of the verify read. The monitor's tick period comes on top between seating
// and that tick; pagers per hour count it in full (the worst case), and
// leave out the operator's hands (the cradle's swap time).
// With --db the ledger is that database instead of a CSV journal (its
// reservations and settlements are then part of the tool's time).
// Usage: batch_bench [pagers] [--db CONNECTION]   (default 20)

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/session.h"

namespace {

constexpr double kTickPeriodMs = 1000;
constexpr double kTickPausesMs = 20 + 20;  // probe, status query
// The read of blocks 4 and 5 and the write (the pauses of write_bench).
constexpr double kWritePausesMs = 700 + 6 * 80 + 4 * 20;
// Verify: before, 4 blocks, before read finish, read finish, before closing, closing.
constexpr double kVerifyPausesMs = 100 + 4 * 80 + 100 + 20 + 50 + 20;

// "AB12CD0001  KTN4070C  verified  2.07 s" -> 2.07
std::vector<double> PagerSeconds(const std::string& out) {
    std::vector<double> seconds;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find("  verified  ");
        if (at != std::string::npos) {
            seconds.push_back(std::atof(line.c_str() + at + 12));
        }
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    sn::cli::Options o;
    o.command = "batch";
    o.serial = sn::Serial::Parse("BN00000001");
    o.count = argc > 1 && argv[1][0] != '-' ? std::max(1, std::atoi(argv[1])) : 20;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--db") {
            o.db = argv[i + 1];
        }
    }
    o.verify = true;
    o.simulate = true;
    o.timeoutSeconds = 15;
    const auto log = std::filesystem::temp_directory_path() / "batch_bench.csv";
    std::filesystem::remove(log);
    if (o.db.empty()) {
        o.logs = {log.string()};
    }
    std::ostringstream out;
    std::ostringstream err;
    const int code = sn::cli::RunSession(o, out, err);
    std::filesystem::remove(log);
    const std::vector<double> seconds = PagerSeconds(out.str());
    if (code != 0 || seconds.size() != static_cast<std::size_t>(o.count)) {
        std::fprintf(stderr, "batch failed (exit %d):\n%s%s", code, out.str().c_str(),
                     err.str().c_str());
        return 1;
    }
    double sum = 0;
    double worst = 0;
    for (double s : seconds) {
        sum += s;
        worst = std::max(worst, s);
    }
    const double mean = sum / static_cast<double>(seconds.size()) * 1000;
    const double floor = kTickPausesMs + kWritePausesMs + kVerifyPausesMs;
    std::printf(
        "batch of %d with --verify (%s): %.0f ms per pager from the tick that found it to its "
        "row (worst %.0f ms); floor %.0f ms; ratio %.3f\n",
        o.count, o.db.empty() ? "CSV journal" : "database", mean, worst * 1000, floor,
        mean / floor);
    std::printf(
        "from seating, with up to one tick period (%.0f ms): %.0f ms, floor %.0f ms; "
        "%.0f pagers per hour (floor %.0f), the operator's hands left out\n",
        kTickPeriodMs, mean + kTickPeriodMs, floor + kTickPeriodMs, 3600e3 / (mean + kTickPeriodMs),
        3600e3 / (floor + kTickPeriodMs));
    return 0;
}
