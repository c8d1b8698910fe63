// OdbcLedger's numbers: what the database holds of one (its state and its
// last row), Check, Reserve and Settle, and the refusals with their
// messages. A reservation is one INSERT that the unique key decides; a
// settlement marks the row used, or deletes it when nothing was written.

#include <mutex>
#include <random>

#include "database/odbc_ledger.h"
#include "database/odbc_ledger_internal.h"
#include "ledger/journal_ledger.h"
#include "ledger/refusals.h"

namespace sn {

namespace {

using detail::Exec;
using detail::Get;
using detail::Split;
using detail::SplitSerial;
using detail::StateOf;
using detail::Trimmed;
using odbc::Diag;
using odbc::Statement;

const char* const kSource = "as the production database records";
constexpr int kReserveTries = 3;

const char* const kRowColumns =
    "time, station, port, model, serial_before, serial_written, outcome, version, operator";

std::string NewToken() {
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard lock(mutex);
    const char* const hex = "0123456789abcdef";
    std::string token;
    for (int part = 0; part < 2; ++part) {
        for (std::uint64_t bits = random(), i = 0; i < 16; ++i, bits >>= 4) {
            token += hex[bits & 15];
        }
    }
    return token;
}

}  // namespace

namespace detail {

Split SplitSerial(const std::string& serial) {
    Split s{serial, 0, serial.size(), 0};
    std::size_t end = serial.find_last_of("0123456789");
    if (end == std::string::npos) {
        return s;
    }
    std::size_t begin = end;
    while (begin > 0 && serial[begin - 1] >= '0' && serial[begin - 1] <= '9') {
        --begin;
    }
    s.at = begin;
    s.width = end + 1 - begin;
    s.num = std::stoll(serial.substr(begin, s.width));
    s.series.replace(begin, s.width, s.width, '#');
    return s;
}

NumberState StateOf(bool used, bool broken, bool open) {
    if (open) {
        return NumberState::InDoubt;
    }
    if (used) {
        return broken ? NumberState::BrokenOff : NumberState::Used;
    }
    return NumberState::Free;
}

}  // namespace detail

// ---- what the database holds of a number

bool OdbcLedger::ReadState(const std::string& serial, NumberState& state, bool& exists, Diag& diag,
                           bool forUpdate) {
    Statement st(connection_);
    if (!st.Run(std::string("SELECT used, broken, token IS NOT NULL FROM sn_numbers"
                            " WHERE serial = ?") +
                    (forUpdate ? " FOR UPDATE" : ""),
                {serial}, diag)) {
        return false;
    }
    exists = st.Fetch(diag);
    if (!exists) {
        state = NumberState::Free;
        return diag.state.empty();
    }
    const auto flag = [&](int column) { return Get(st, column, diag) == "1"; };
    const bool used = flag(1);
    const bool broken = flag(2);
    state = StateOf(used, broken, flag(3));
    return true;
}

bool OdbcLedger::LastRow(const std::string& serial, LogRow& row, Diag& diag) {
    Statement st(connection_);
    if (!st.Run(std::string("SELECT ") + kRowColumns +
                    " FROM sn_rows WHERE serial_written = ? ORDER BY id DESC LIMIT 1",
                {serial}, diag)) {
        return false;
    }
    if (!st.Fetch(diag)) {
        return diag.state.empty();
    }
    row = LogRow{Get(st, 1, diag), Get(st, 2, diag), Get(st, 3, diag),
                 Get(st, 4, diag), Get(st, 5, diag), Get(st, 6, diag),
                 Get(st, 7, diag), Get(st, 8, diag), Get(st, 9, diag)};
    return true;
}

bool OdbcLedger::Describe(const std::string& serial, LedgerEntry& entry, Diag& diag) {
    entry = LedgerEntry{serial, NumberState::Free, {}, "the production database"};
    bool exists = false;
    return ReadState(serial, entry.state, exists, diag) && LastRow(serial, entry.row, diag);
}

bool OdbcLedger::AddRow(const LogRow& row, const std::string& token, Diag& diag) {
    return Exec(connection_,
                std::string("INSERT INTO sn_rows (") + kRowColumns +
                    ", token) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                {row.time, row.station, row.port, row.model, row.serialBefore, row.serialWritten,
                 row.outcome, row.version, row.operatorName, token},
                diag);
}

// ---- reservations

bool OdbcLedger::InsertReserved(const std::string& serial, const std::string& token, Diag& diag) {
    const Split s = SplitSerial(serial);
    return Exec(connection_,
                "INSERT INTO sn_numbers (serial, series, num, token) VALUES (?, ?, ?, ?)",
                {serial, s.series, s.num, token}, diag);
}

// A reservation over an open one means the earlier was never settled: its
// write may have broken off anywhere, so the number is used and broken.
bool OdbcLedger::TakeAgain(const std::string& serial, const std::string& token, Diag& diag) {
    return Exec(connection_,
                "UPDATE sn_numbers SET used = used OR token IS NOT NULL,"
                " broken = broken OR token IS NOT NULL, token = ? WHERE serial = ?",
                {token, serial}, diag);
}

std::optional<Refusal> OdbcLedger::Decide(const std::string& serial, ReserveMode mode,
                                          bool& reusing, Diag& diag) {
    LedgerEntry entry;
    if (!Describe(serial, entry, diag)) {
        return std::nullopt;
    }
    reusing = entry.state != NumberState::Free;
    if (mode == ReserveMode::Fresh && reusing) {
        return RefuseDuplicate(entry, kSource);
    }
    if (mode == ReserveMode::Resume && entry.state != NumberState::InDoubt &&
        entry.state != NumberState::BrokenOff) {
        return RefuseNotResumable(*Serial::Parse(serial), entry.state);
    }
    return std::nullopt;
}

// One try; `raced` when another station changed the number in between.
std::optional<Refusal> OdbcLedger::ReserveOnce(const std::string& serial, const std::string& token,
                                               const LogRow& row, ReserveMode mode, bool& reusing,
                                               bool& raced, Diag& diag) {
    raced = false;
    reusing = false;
    if (mode == ReserveMode::Fresh) {
        if (InsertReserved(serial, token, diag) && AddRow(row, token, diag)) {
            return std::nullopt;
        }
        if (!diag.UniqueViolation()) {
            return std::nullopt;
        }
        connection_.Rollback();
        diag = {};
        auto refusal = Decide(serial, mode, reusing, diag);
        raced = !refusal && diag.state.empty();  // released in between: try again
        return refusal;
    }
    NumberState state = NumberState::Free;
    bool exists = false;
    if (!ReadState(serial, state, exists, diag, true)) {
        return std::nullopt;
    }
    if (mode == ReserveMode::Resume && state != NumberState::InDoubt &&
        state != NumberState::BrokenOff) {
        return RefuseNotResumable(*Serial::Parse(serial), state);
    }
    reusing = exists;
    const bool taken =
        exists ? TakeAgain(serial, token, diag) : InsertReserved(serial, token, diag);
    raced = !taken && diag.UniqueViolation();
    if (taken) {
        AddRow(row, token, diag);
    }
    return std::nullopt;
}

// Tried again while other stations race for the number; true once it is
// reserved and committed, or refused (`refusal`).
bool OdbcLedger::ReserveRetried(const std::string& serial, const std::string& token,
                                const LogRow& row, ReserveMode mode, bool& reusing,
                                std::optional<Refusal>& refusal, Diag& diag) {
    for (int i = 0; i < kReserveTries; ++i) {
        bool raced = false;
        diag = {};
        refusal = ReserveOnce(serial, token, row, mode, reusing, raced, diag);
        if (refusal || (!raced && !diag.state.empty())) {
            connection_.Rollback();
            return refusal.has_value();
        }
        if (!raced) {
            return connection_.Commit(diag);
        }
        connection_.Rollback();
        diag = {};
    }
    return false;
}

std::optional<Refusal> OdbcLedger::Reserve(Reservation& reservation, ReserveMode mode) {
    const std::string& serial = reservation.serial.Text();
    std::lock_guard lock(mutex_);
    LogRow row = Stamped(NewLogRow());
    row.port = reservation.port;
    row.serialWritten = serial;
    row.outcome = outcome::kReserved;
    const std::string token = NewToken();
    std::optional<Refusal> refusal;
    bool reusing = false;
    Diag diag;
    const bool done = WithDb(
        [&](Diag& d) { return ReserveRetried(serial, token, row, mode, reusing, refusal, d); },
        diag);
    if (refusal) {
        return refusal;
    }
    if (!done) {
        return RefuseNothingSent(Refusal::Kind::Unusable,
                                 diag.ConnectionLost() || !connection_.Connected()
                                     ? Unreachable(diag)
                                     : "The production database refused the reservation: " +
                                           Trimmed(diag.message) + ".");
    }
    reservation.reusing = reusing;
    reservation.token = token;
    return std::nullopt;
}

std::optional<Refusal> OdbcLedger::Check(const Serial& serial, ReserveMode mode) {
    std::lock_guard lock(mutex_);
    std::optional<Refusal> refusal;
    Diag diag;
    const bool done = WithDb(
        [&](Diag& d) {
            bool reusing = false;
            refusal = Decide(serial.Text(), mode, reusing, d);
            connection_.Rollback();
            return refusal.has_value() || d.state.empty();
        },
        diag);
    if (!done) {
        return RefuseNothingSent(Refusal::Kind::Unusable, Unreachable(diag));
    }
    return refusal;
}

// ---- settlements

bool OdbcLedger::ReleaseNumber(const std::string& serial, const std::string& token, Diag& diag) {
    const Split s = SplitSerial(serial);
    // Taken one series at a time with NextFree, which moves the cursors up.
    if (!Exec(connection_, "SELECT pg_advisory_xact_lock(hashtext(?))", {s.series}, diag)) {
        return false;
    }
    Statement del(connection_);
    if (!del.Run("DELETE FROM sn_numbers WHERE serial = ? AND token = ? AND NOT used",
                 {serial, token}, diag)) {
        return false;
    }
    if (del.RowCount() == 0) {
        // Used before this reservation (a duplicate let through): it stays used.
        return Exec(connection_,
                    "UPDATE sn_numbers SET token = NULL WHERE serial = ? AND token = ?",
                    {serial, token}, diag);
    }
    return Exec(connection_,
                "UPDATE sn_cursor SET low = ? WHERE series = ? AND first <= ? AND low > ?",
                {s.num, s.series, s.num, s.num}, diag);
}

bool OdbcLedger::SettleNumber(const std::string& token, const LogRow& row, Diag& diag) {
    const auto effect = OutcomeEffect(row.outcome);
    if (!effect || *effect == RowEffect::Reserve) {
        return true;
    }
    const std::string& serial = row.serialWritten;
    if (*effect == RowEffect::Release) {
        return ReleaseNumber(serial, token, diag);
    }
    const std::int64_t broken = *effect == RowEffect::UseBroken ? 1 : 0;
    Statement own(connection_);
    if (!own.Run("UPDATE sn_numbers SET used = true, broken = (? = 1), token = NULL"
                 " WHERE serial = ? AND token = ?",
                 {broken, serial, token}, diag)) {
        return false;
    }
    if (own.RowCount() > 0) {
        return true;
    }
    // Another reservation holds it now (or none does): the number went into
    // a pager all the same, and that reservation stays open.
    const Split s = SplitSerial(serial);
    return Exec(connection_,
                "INSERT INTO sn_numbers (serial, series, num, used, broken)"
                " VALUES (?, ?, ?, true, (? = 1)) ON CONFLICT (serial) DO UPDATE"
                " SET used = true, broken = sn_numbers.broken OR EXCLUDED.broken",
                {serial, s.series, s.num, broken}, diag);
}

bool OdbcLedger::Settle(const Reservation& reservation, const LogRow& row, std::string& error) {
    LogRow settled = Stamped(row);
    settled.serialWritten = reservation.serial.Text();
    std::lock_guard lock(mutex_);
    Diag diag;
    const bool done = WithDb(
        [&](Diag& d) {
            return SettleNumber(reservation.token, settled, d) &&
                   AddRow(settled, reservation.token, d) && connection_.Commit(d);
        },
        diag);
    if (done) {
        return true;
    }
    if (!diag.ConnectionLost() && connection_.Connected()) {
        error = "The production database refused the settlement of " + reservation.serial.Text() +
                ": " + Trimmed(diag.message) + ".";
        return false;
    }
    std::string spoolError;
    if (Spool(reservation, settled, spoolError)) {
        return true;
    }
    error = Unreachable(diag) + " The settlement of " + reservation.serial.Text() +
            " could not be spooled either" + (spoolError.empty() ? "" : ": " + spoolError) + ".";
    return false;
}

}  // namespace sn
