// The database ledger at a million numbers: the table filled in one
// statement, then 200 reservations each settled as written, timed one pair at
// a time (median and p99), and the next free number from the series' start,
// the first time (the walk that sets the cursor) and again (from the cursor).
// It drops the ledger's tables first: run it against a scratch server only.
//   db_ledger_bench [CONNECTION]   (default: $SNTOOL_TEST_DB)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/odbc_ledger.h"
#include "ledger/journal_ledger.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

bool Sql(const std::string& connection, const std::string& sql) {
    sn::odbc::Connection c;
    sn::odbc::Diag d;
    const bool ok =
        c.Connect(connection, d) && sn::odbc::Statement(c).Run(sql, {}, d) && c.Commit(d);
    if (!ok) {
        std::fprintf(stderr, "%s: %s %s\n", sql.c_str(), d.state.c_str(), d.message.c_str());
    }
    return ok;
}

bool Fill(const std::string& connection, int numbers) {
    std::string grants;
    std::string error;
    if (!Sql(connection, "DROP TABLE IF EXISTS sn_numbers, sn_rows, sn_cursor") ||
        !sn::OdbcLedger::Init(connection, "", "station", grants, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    const auto start = Clock::now();
    const bool ok = Sql(connection,
                        "INSERT INTO sn_numbers (serial, series, num, used) SELECT 'BN' ||"
                        " lpad(g::text, 8, '0'), 'BN########', g, true FROM generate_series(0, " +
                            std::to_string(numbers - 1) + ") g") &&
                    Sql(connection, "ANALYZE sn_numbers");
    std::printf("filled %d numbers in %.0f ms\n", numbers, Ms(Clock::now() - start));
    return ok;
}

bool ReserveAndSettle(sn::OdbcLedger& ledger, int pairs) {
    std::vector<double> ms;
    for (int i = 0; i < pairs; ++i) {
        const std::string serial = "BN0" + std::to_string(2000000 + i);
        const auto start = Clock::now();
        sn::Reservation r{*sn::Serial::Parse(serial), "COM3"};
        if (const auto refusal = ledger.Reserve(r, sn::ReserveMode::Fresh)) {
            std::fprintf(stderr, "%s\n", refusal->message.c_str());
            return false;
        }
        sn::LogRow row = sn::NewLogRow();
        row.outcome = sn::outcome::kWritten;
        std::string error;
        if (!ledger.Settle(r, row, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        ms.push_back(Ms(Clock::now() - start));
    }
    std::sort(ms.begin(), ms.end());
    std::printf("reserve+settle, %d pairs: median %.2f ms, p99 %.2f ms\n", pairs, ms[ms.size() / 2],
                ms[ms.size() * 99 / 100]);
    return true;
}

void NextFree(sn::OdbcLedger& ledger, const char* what) {
    std::string why;
    const auto start = Clock::now();
    const auto free = ledger.NextFree(*sn::Serial::Parse("BN00000000"), why);
    std::printf("NextFree from BN00000000 (%s): %s in %.2f ms\n", what,
                free ? free->Text().c_str() : why.c_str(), Ms(Clock::now() - start));
}

}  // namespace

int main(int argc, char** argv) {
    const char* env = std::getenv("SNTOOL_TEST_DB");
    const std::string connection = argc > 1 ? argv[1] : env != nullptr ? env : "";
    if (connection.empty()) {
        std::fprintf(stderr, "usage: db_ledger_bench CONNECTION (or set SNTOOL_TEST_DB)\n");
        return 2;
    }
    constexpr int kNumbers = 1000000;
    if (!Fill(connection, kNumbers)) {
        return 1;
    }
    sn::OdbcLedger ledger({connection, "", "bench", "bench", "db_ledger_bench.spool"});
    if (!ReserveAndSettle(ledger, 200)) {
        return 1;
    }
    NextFree(ledger, "first: the walk, which sets the cursor");
    NextFree(ledger, "again: from the cursor");
    return 0;
}
