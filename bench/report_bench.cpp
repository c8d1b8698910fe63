// sntool report over a big journal: a million rows (500,000 pagers, each
// reserved and verified, at a few stations over a week), timed as the
// command runs it (the median of five runs), with the process's peak
// memory: report_bench [PAGERS [GROUP]]. With --db CONNECTION the same rows
// go into that database's sn_rows (emptied first, then vacuumed and analysed
// as autovacuum keeps a table) and the database counts them: report_bench
// --db CONNECTION [PAGERS [GROUP]].

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/session.h"
#include "database/odbc_ledger.h"
#include "ledger/journal.h"
#include "report/report_time.h"

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

// The journal's rows in one statement: each pager reserved, then verified a
// second later.
bool FillDatabase(const std::string& db, long pagers) {
    std::string grants, error;
    sn::odbc::Connection c;
    sn::odbc::Diag diag;
    const bool ok =
        sn::OdbcLedger::Init(db, "", "sn", grants, error) && c.Connect(db, diag) &&
        sn::odbc::Statement(c).Run("TRUNCATE sn_rows", {}, diag) &&
        sn::odbc::Statement(c).Run(
            "INSERT INTO sn_rows (time, station, port, model, serial_before, serial_written,"
            " outcome, version, operator, token)"
            " SELECT to_char(to_timestamp(? + i / 2 * ? + i % 2 + 3600) AT TIME ZONE 'UTC',"
            " 'YYYY-MM-DD\"T\"HH24:MI:SS\"+01:00\"'), (ARRAY[?, ?, ?, ?])[i / 2 % 4 + 1], ?, ?,"
            " '', 'AB' || lpad((i / 2 % 100000000)::text, 8, '0'),"
            " CASE WHEN i % 2 = 0 THEN ? ELSE ? END, '1.0', (ARRAY[?, ?, ?])[i / 2 % 3 + 1], 't'"
            " FROM generate_series(0::bigint, ? - 1) i",
            {std::int64_t{1796598000}, std::int64_t{7 * 86400 / pagers}, std::string("line1"),
             std::string("line2"), std::string("line3"), std::string("vm"),
             std::string("/dev/ttyUSB0"), std::string("CV1"), std::string(sn::outcome::kReserved),
             std::string(sn::outcome::kVerified), std::string("ann"), std::string("bob"),
             std::string("cem"), std::int64_t{pagers * 2}},
            diag) &&
        c.Commit(diag) && sn::odbc::Statement(c).Run("VACUUM ANALYZE sn_rows", {}, diag);
    if (!ok) {
        std::fprintf(stderr, "report_bench: %s%s\n", error.c_str(), diag.message.c_str());
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const bool db = argc > 2 && std::string(argv[1]) == "--db";
    const int at = db ? 3 : 1;
    const long pagers = argc > at ? std::atol(argv[at]) : 500000;
    const std::string path =
        (std::filesystem::temp_directory_path() / "sntool-report-bench.csv").string();
    sn::cli::Options o;
    o.command = "report";
    if (db) {
        o.db = argv[2];
        if (!FillDatabase(o.db, pagers)) {
            return 1;
        }
    } else {
        WriteJournal(path, pagers);
        o.logs = {path};
    }
    o.reportBy = argc > at + 1 ? argv[at + 1] : "station";
    // Five runs, as a supervisor would run it again: the median is the figure,
    // the slowest is shown beside it.
    std::vector<double> seconds;
    int code = 0;
    std::string shown;
    for (int run = 0; run < 5 && code == 0; ++run) {
        std::ostringstream out, err;
        const auto t0 = std::chrono::steady_clock::now();
        code = sn::cli::RunSession(o, out, err);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        shown = out.str() + err.str();
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::filesystem::remove(path);
    std::printf("%s", shown.c_str());
    std::printf(
        "report over %ld rows: median %.2f s, slowest %.2f s of %zu, peak RSS %.1f MB"
        " (exit %d)\n",
        pagers * 2, median, seconds.back(), seconds.size(),
        static_cast<double>(ru.ru_maxrss) / 1024.0, code);
    return code == 0 && median <= (db ? 1.0 : 2.0) ? 0 : 1;
}
