// sntool report over a big journal: a million rows (500,000 pagers, each
// reserved and verified, at a few stations over a week), timed as the
// command runs it, with the process's peak memory. report_bench [PAGERS [GROUP]]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/session.h"
#include "production/journal.h"
#include "production/report_time.h"

namespace {

std::string Serial(long n) {
    char text[32];
    std::snprintf(text, sizeof text, "AB%08ld", n % 100000000);
    return text;
}

void WriteJournal(const std::string& path, long pagers) {
    static const char* kStations[] = {"line1", "line2", "line3", "vm"};
    static const char* kOperators[] = {"ann", "bob", "cem"};
    std::ofstream out(path, std::ios::binary);
    out << sn::kLogHeader << "\r\n";
    const std::int64_t start = 1796598000;  // 2026-12-07 00:00+01:00
    const std::int64_t step = 7 * 86400 / pagers;
    for (long i = 0; i < pagers; ++i) {
        sn::LogRow row{sn::FormatIso(start + i * step, 60),
                       kStations[i % 4],
                       "/dev/ttyUSB0",
                       "CV1",
                       "",
                       Serial(i),
                       sn::outcome::kReserved,
                       "1.0",
                       kOperators[i % 3]};
        out << sn::FormatCsvRow(row);
        row.time = sn::FormatIso(start + i * step + 1, 60);
        row.outcome = sn::outcome::kVerified;
        out << sn::FormatCsvRow(row);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long pagers = argc > 1 ? std::atol(argv[1]) : 500000;
    const std::string path =
        (std::filesystem::temp_directory_path() / "sntool-report-bench.csv").string();
    WriteJournal(path, pagers);
    sn::cli::Options o;
    o.command = "report";
    o.logs = {path};
    o.reportBy = argc > 2 ? argv[2] : "station";
    std::ostringstream out, err;
    const auto t0 = std::chrono::steady_clock::now();
    const int code = sn::cli::RunSession(o, out, err);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::filesystem::remove(path);
    std::printf("%s", out.str().c_str());
    std::printf("report over %ld rows: %.2f s, peak RSS %.1f MB (exit %d)\n", pagers * 2, seconds,
                static_cast<double>(ru.ru_maxrss) / 1024.0, code);
    return code == 0 && seconds <= 2.0 ? 0 : 1;
}
