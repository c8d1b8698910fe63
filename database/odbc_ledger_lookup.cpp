// OdbcLedger's queries: the next free number, found from the series'
// cursor with indexed range queries (and the cursor moved on), one number's
// entry (Lookup), and the numbers left unfinished.

#include <algorithm>
#include <mutex>

#include "database/odbc_ledger.h"
#include "database/odbc_ledger_internal.h"
#include "ledger/journal_ledger.h"
#include "ledger/serial_sequence.h"

namespace sn {

namespace {

using detail::Exec;
using detail::Get;
using detail::Split;
using detail::SplitSerial;
using detail::StateOf;
using odbc::Diag;
using odbc::Statement;

constexpr std::int64_t kBatch = 64;
// A station asking from beyond a cursor: the numbers in between are counted
// when they are this few, so that the cursor moves on with the station.
constexpr std::int64_t kBridge = 4096;

std::string Join(const std::string& serial, const Split& s, std::int64_t num) {
    std::string digits = std::to_string(num);
    digits.insert(0, s.width - std::min(s.width, digits.size()), '0');
    return serial.substr(0, s.at) + digits + serial.substr(s.at + s.width);
}

}  // namespace

// ---- the next free number

// Where the walk for `from` starts, and the cursor (its first) that it moves.
bool OdbcLedger::StartFrom(const std::string& series, std::int64_t from, std::int64_t& start,
                           std::int64_t& first, Diag& diag) {
    start = from;
    first = from;
    Statement st(connection_);
    if (!st.Run("SELECT first, low FROM sn_cursor WHERE series = ? AND first <= ?"
                " ORDER BY first DESC LIMIT 1",
                {series, from}, diag)) {
        return false;
    }
    if (!st.Fetch(diag)) {
        return diag.state.empty();
    }
    const std::int64_t cursorFirst = std::stoll(Get(st, 1, diag));
    const std::int64_t low = std::stoll(Get(st, 2, diag));
    if (low >= from) {
        start = low;
        first = cursorFirst;
        return true;
    }
    if (from - low > kBridge) {
        return true;
    }
    // The cursor follows a station that asks from just past it, when every
    // number in between is taken.
    Statement count(connection_);
    if (!count.Run("SELECT count(*) FROM sn_numbers WHERE series = ? AND num >= ? AND num < ?",
                   {series, low, from}, diag) ||
        !count.Fetch(diag)) {
        return false;
    }
    if (std::stoll(Get(count, 1, diag)) == from - low) {
        first = cursorFirst;
    }
    return true;
}

// The lowest number of `series` at or after `from` that has no row.
bool OdbcLedger::FreeAfter(const std::string& series, std::int64_t from, std::int64_t& free,
                           Diag& diag) {
    free = from;
    Statement st(connection_);
    if (!st.Run("SELECT num FROM sn_numbers WHERE series = ? AND num >= ? ORDER BY num LIMIT ?",
                {series, from, kBatch}, diag)) {
        return false;
    }
    std::int64_t rows = 0;
    while (st.Fetch(diag)) {
        ++rows;
        if (std::stoll(Get(st, 1, diag)) != free) {
            return true;
        }
        ++free;
    }
    if (!diag.state.empty() || rows < kBatch) {
        return diag.state.empty();
    }
    // A long run of taken numbers: the server finds its end.
    Statement gap(connection_);
    if (!gap.Run("SELECT a.num + 1 FROM sn_numbers a WHERE a.series = ? AND a.num >= ?"
                 " AND NOT EXISTS (SELECT 1 FROM sn_numbers b"
                 " WHERE b.series = a.series AND b.num = a.num + 1)"
                 " ORDER BY a.num LIMIT 1",
                 {series, free - 1}, diag)) {
        return false;
    }
    if (gap.Fetch(diag)) {
        free = std::stoll(Get(gap, 1, diag));
    }
    return diag.state.empty();
}

std::optional<std::string> OdbcLedger::NextFreeIn(const std::string& canonical, std::string& why,
                                                  Diag& diag) {
    const Split s = SplitSerial(canonical);
    std::int64_t start = 0;
    std::int64_t first = 0;
    std::int64_t free = 0;
    if (!Exec(connection_, "SELECT pg_advisory_xact_lock(hashtext(?))", {s.series}, diag) ||
        !StartFrom(s.series, s.num, start, first, diag) ||
        !FreeAfter(s.series, start, free, diag) ||
        !Exec(connection_,
              "INSERT INTO sn_cursor (series, first, low) VALUES (?, ?, ?)"
              " ON CONFLICT (series, first) DO UPDATE SET low = EXCLUDED.low",
              {s.series, first, free}, diag) ||
        !connection_.Commit(diag)) {
        return std::nullopt;
    }
    if (s.width > 0 && free <= s.Last()) {
        return Join(canonical, s, free);
    }
    if (s.width == 0 && free == s.num) {
        return canonical;
    }
    // Every number up to the last the digits hold is taken.
    why =
        SequenceEndMessage(*Serial::Parse(s.width == 0 ? canonical : Join(canonical, s, s.Last())));
    return std::nullopt;
}

std::optional<Serial> OdbcLedger::NextFree(const Serial& from, std::string& why) {
    std::lock_guard lock(mutex_);
    std::optional<std::string> free;
    Diag diag;
    const bool done = WithDb(
        [&](Diag& d) {
            free = NextFreeIn(from.Text(), why, d);
            return free.has_value() || d.state.empty();
        },
        diag);
    // Unreachable: offered all the same; the reservation is refused.
    if (!done) {
        return from;
    }
    return free ? Serial::Parse(*free) : std::nullopt;
}

// ---- what the database says

LedgerEntry OdbcLedger::Lookup(const Serial& serial) {
    std::lock_guard lock(mutex_);
    LedgerEntry entry{serial.Text(), NumberState::Free, {}, {}};
    Diag diag;
    WithDb(
        [&](Diag& d) {
            const bool ok = Describe(serial.Text(), entry, d);
            connection_.Rollback();
            return ok;
        },
        diag);
    return entry;
}

std::vector<LedgerEntry> OdbcLedger::Unfinished() {
    std::lock_guard lock(mutex_);
    std::vector<LedgerEntry> entries;
    Diag diag;
    WithDb(
        [&](Diag& d) {
            entries.clear();
            Statement st(connection_);
            if (!st.Run(std::string("SELECT n.used, n.broken, n.token IS NOT NULL, r.") +
                            "time, r.station, r.port, r.model, r.serial_before, n.serial,"
                            " r.outcome, r.version, r.operator FROM sn_numbers n"
                            " LEFT JOIN LATERAL (SELECT * FROM sn_rows WHERE serial_written ="
                            " n.serial ORDER BY id DESC LIMIT 1) r ON true"
                            " WHERE n.token IS NOT NULL OR n.broken ORDER BY r.time, n.serial",
                        {}, d)) {
                return false;
            }
            while (st.Fetch(d)) {
                const auto flag = [&](int column) { return Get(st, column, d) == "1"; };
                const bool used = flag(1);
                const bool broken = flag(2);
                const NumberState state = StateOf(used, broken, flag(3));
                LogRow row{Get(st, 4, d),  Get(st, 5, d),  Get(st, 6, d),
                           Get(st, 7, d),  Get(st, 8, d),  Get(st, 9, d),
                           Get(st, 10, d), Get(st, 11, d), Get(st, 12, d)};
                entries.push_back({row.serialWritten, state, row, "the production database"});
            }
            connection_.Rollback();
            return d.state.empty();
        },
        diag);
    return entries;
}

}  // namespace sn
